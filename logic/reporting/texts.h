// Every text the control shows or writes, as Windows-1252 bytes.
// Bytes above 0x7F are escaped so the source stays plain ASCII; a literal is
// split after each escape so the next letter is not read as a hex digit.
#pragma once

namespace orvanta::texts {

// Captions
inline constexpr char kCaptionBrisomel[] = "Brisomel";
inline constexpr char kCaptionDbgMsg[] = "OrvantaCtrl::DbgMsg";
inline constexpr char kCaptionError[] = "COrvantaCtrl Debugmodus: Fehler";
inline constexpr char kCaptionModeString[] = "COrvantaCtrl Debugmodus: Parameterstring";
inline constexpr char kCaptionOldSettings[] = "COrvantaCtrl Debugmodus: Alten Parameter";
inline constexpr char kCaptionNewSettings[] = "COrvantaCtrl Debugmodus: neuen Parameter";
inline constexpr char kCaptionScanBuffer[] = "Quenlet Debugmodus: Inhalt des Scanbuffers";
inline constexpr char kCaptionCodeRead[] = "COrvantaCtrl Debugmodus: Gelesener Code";
inline constexpr char kCaptionCodeSent[] = "COrvantaCtrl Debugmodus: Gesendeter Code";
inline constexpr char kCaptionTyping[] = "COrvantaCtrl Debugmodus: Senden";
inline constexpr char kCaptionEscByte[] = "gesendetes Zeichen";

// Notice limits and their stand-ins
inline constexpr char kMessageTooLong[] = "Fehlermeldung zu lang !";
inline constexpr char kCaptionTooLong[] = "Fenstertitel zu lang !";

// Trace report
inline constexpr char kTraceFormat[] = "Function: %s\r\nMessage: %s\r\nGetLastError == %08X (%d)\r\n";

// No device open
inline constexpr char kNotActivated[] = "Schnittstelle nicht aktiviert !";
inline constexpr char kNotInitialised[] = "Die Schnittstelle wurde nicht initialisiert!";

// Device connection
inline constexpr char kProtocolFileName[] = "OCXPROT.PRT";
inline constexpr char kCannotOpen[] = "Schnittstelle: %s konnte nicht ge\xF6" "ffnet werden !";
inline constexpr char kNoEventContext[] =
    "Das Device konnte ge\xF6" "ffnet werden, aber ein dazugeh\xF6" "riger Ereigniskontext "
    "konnte nicht initialisiert werden !";

// Write path
inline constexpr char kErrorNumber[] = "Fehler-Nr.: %i";
inline constexpr char kSevereWriteError[] =
    "Ein schwerwiegender Fehler (Fehler-Nr.: error) tratt beim Schreiben auf das Ger\xE4" "t auf !";
inline constexpr char kTimeoutAgain[] = "schon wieder waitstate==WAIT_TIMEOUT";
inline constexpr char kTimeoutLengths[] = "m_Bytes: %i   L\xE4" "nge: %i";
inline constexpr char kTimeoutChar[] = "Char: %i";
inline constexpr char kWriteFailed[] =
    "Ein Fehler tratt beim Schreiben auf das Ger\xE4" "t auf ! \n Die Ausgabe wurde Abgebrochen, "
    "da das Zeitlimit f\xFC" "r den Vorgang erreicht wurde. \n Bitte pr\xFC" "fen Sie ob das Ger\xE4"
    "t korrekt Angeschlossen und Funktionsbereit ist !\n";
inline constexpr char kFileUnreadable[] = "Die Datei: %s konnte nicht gelesen werden !";
inline constexpr char kFileAborted[] =
    "Die Ausgabe der  Datei: %s wurde abbgebrochen, da das Ausgabeger\xE4" "t einen Fehler meldete !";

// Line control and raw reads
inline constexpr char kLineSettingsFormat[] = "Baud=%i parity=%i  data=%i   stop=%i";
inline constexpr char kReadTooLarge[] =
    "Die Anzahl der zu lesenden Bytes (%i) darf nicht gr\xF6" "\xDF" "er sein als die "
    "Puffergr\xF6" "\xDF" "e (%i) !";

// Scanner
inline constexpr char kCodeEndScan[] = "ENDSCAN";
inline constexpr char kCodeError[] = "ERROR";
inline constexpr char kScanEnded[] = "Scannen beendet !";
inline constexpr char kScanTaskEnded[] = "Scannner-Task wurde durch 'Ende' Befehl beendet !";
inline constexpr char kScanThreadFailed[] = "Scan-Thread konnte nicht gestartet werden !";
inline constexpr char kCodeSentFormat[] = "Code zum senden: %s . Anzahl gesendeter Zeichen: %i";
inline constexpr char kTypedAsKeys[] = "Code wurde direkt \xFC" "ber Tastaturpuffer gesendet !";

// Trace words
inline constexpr char kFnOpenDevice[] = "OpenDevice";
inline constexpr char kFnCloseDevice[] = "CloseDevice";
inline constexpr char kFnSendFile[] = "SendFile";
inline constexpr char kFnSetCOMSettings[] = "SetCOMSettings";
inline constexpr char kFnSetSignalOnCOM[] = "SetSignalOnCOM";
inline constexpr char kFnClearCOMError[] = "ClearCOMError";

}  // namespace orvanta::logic::texts
