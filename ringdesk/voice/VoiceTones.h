#pragma once

#include "voice/VoiceModem.h"

#include <QByteArray>

// The tones a blocked call may hear, made by spandsp in the voice's format at 8000 samples a
// second: the special information tone "vacant code" (985.2, 1370.6 and 1776.7 Hz for 380, 274
// and 380 ms, the tone robocall dialers drop a number on) and the fax answer tone (2100 Hz).
namespace VoiceTones {

QByteArray vacantCode(VoiceModem::Encoding encoding);
QByteArray faxAnswer(VoiceModem::Encoding encoding, int milliseconds = 3000);
// The short tone after a greeting: a message may be left now.
QByteArray beep(VoiceModem::Encoding encoding);
// Linear 16-bit samples in the voice's format, and back (16-bit linear comes low byte first).
QByteArray encode(const QList<qint16>& samples, VoiceModem::Encoding encoding);
QList<qint16> decode(const QByteArray& audio, VoiceModem::Encoding encoding);

} // namespace VoiceTones
