#pragma once

#include <QtGlobal>

// What a stranger, or a page left open, can make the web page hold.
struct WebLimits
{
    int connectionsBeforeLogIn = 128;
    int connectionsPerAddress = 16; // before log-in
    int connectionsSignedIn = 64;
    // Live pages have places of their own, so that pages left open do not keep their session's
    // other requests out; a new one makes room by ending the oldest of its session, or of all.
    int streams = 64;
    int streamsPerSession = 8;
    int requestSeconds = 10;
    qsizetype bodyBeforeLogIn = 1024;
    qsizetype bodySignedIn = 64 * 1024;
    qsizetype streamBuffer = 256 * 1024;
    // Answers a connection has not read; past them, its next requests wait unread.
    qsizetype unreadAnswers = 256 * 1024;
    int sessionHours = 12;
};
