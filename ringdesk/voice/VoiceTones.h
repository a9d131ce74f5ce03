#pragma once

#include "voice/VoiceModem.h"

#include <QByteArray>

// The tones a blocked call may hear, made by spandsp in the voice's format at 8000 samples a
// second: the special information tone "vacant code" (985.2, 1370.6 and 1776.7 Hz for 380, 274
// and 380 ms, the tone robocall dialers drop a number on) and the fax answer tone (2100 Hz).
namespace VoiceTones {

QByteArray vacantCode(VoiceModem::Encoding encoding);
QByteArray faxAnswer(VoiceModem::Encoding encoding, int milliseconds = 3000);
// Linear 16-bit samples in the voice's format.
QByteArray encode(const QList<qint16>& samples, VoiceModem::Encoding encoding);

} // namespace VoiceTones
