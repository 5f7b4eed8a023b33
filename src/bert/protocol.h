// The program's contract with the instrument: every command text it sends and
// every reply length or layout it relies on. Nothing else in the program spells
// a command literally.
#pragma once

namespace proto {

// Framing: every command ends with CR LF; side B is addressed by inserting the
// letter 'B' directly after the command word.
inline constexpr char LineEnd[] = "\r\n";
inline constexpr char SideBLetter[] = "B";

// Identification: one text line holding a model name, fields separated by ':'.
inline constexpr char Identify[] = "?";

// Measurement request; the reply is the binary measurement record.
inline constexpr char Measure[] = "r";
inline constexpr int RecordLengthShort = 24; // single-range models
inline constexpr int RecordLengthLong = 27;  // multi-range models (eye opening, PRBS info)

// Line rate, in the unit of the model (see RateScale in bert/ratecontrol.h).
inline constexpr char SetRate[] = "setrate %0.0f";

// Pattern letter, followed directly by the custom suffix at slider position 0.
inline constexpr char SetPattern[] = "setpat %c";
inline constexpr char TxOn[] = "tx 1";
inline constexpr char TxOff[] = "tx 0";
inline constexpr char ResetErrors[] = "reset";

// Eye scan: 64 lines of 64 samples plus CR LF.
inline constexpr char Scan[] = "Scan %u";
inline constexpr int ScanReplyLength = 4224;

// Transceiver register access.
inline constexpr char DumpSfp[] = "SFP";
inline constexpr char DumpXfp[] = "XFP";
inline constexpr char ReadSfpDiag[] = "RdSFP D ";
inline constexpr char ReadSfpInfo[] = "RdSFP I ";
inline constexpr char ReadXfp[] = "RdXFP ";
inline constexpr char WriteSfpDiag[] = "WrSFP D %1 %2";
inline constexpr char WriteSfpInfo[] = "WrSFP I %1 %2";
inline constexpr char WriteXfp[] = "WrXFP %1 %2";
inline constexpr char LoopbackTest[] = "test";

// Tunable transceivers: wavelength in nm with two decimals.
inline constexpr char SetWavelength[] = "SetWL %1";

// Fixed delays of the link, in milliseconds.
inline constexpr int PollIntervalMs = 100;
inline constexpr int WriteWaitMs = 500;
inline constexpr int IdentifySettleMs = 100;
inline constexpr int DisconnectSettleMs = 200;
inline constexpr int RefreshSettleMs = 500;
inline constexpr int ResumeAfterExchangeMs = 100;

} // namespace proto
