#pragma once

#include <QtGlobal>

// What a stranger, or a page left open, can make the web page hold.
struct WebLimits
{
    int connectionsBeforeLogIn = 128;
    int connectionsPerAddress = 16; // before log-in
    int connectionsSignedIn = 64;
    int requestSeconds = 10;
    qsizetype bodyBeforeLogIn = 1024;
    qsizetype bodySignedIn = 64 * 1024;
    qsizetype streamBuffer = 256 * 1024;
    // Answers a connection has not read; past them, its next requests wait unread.
    qsizetype unreadAnswers = 256 * 1024;
    int sessionHours = 12;
};
