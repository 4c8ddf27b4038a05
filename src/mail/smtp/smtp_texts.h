// The error texts of the SMTP client, byte for byte, in one place.
#pragma once

namespace zavelo::smtp {

// Ends every line of a multi-line error text (server replies, socket errors).
inline constexpr char kLineBreak[] = "\n";

inline constexpr char kPortRequired[] = "A Port is required";
inline constexpr char kHostRequired[] = "A Host is required";
inline constexpr char kSocketErrorPrefix[] = "Socket Error # ";
inline constexpr char kStartTlsRefused[] = "Start SSL negotiation command failed.";
inline constexpr char kTlsFailed[] = "SSL negotiation failed.";
inline constexpr char kClosedGracefully[] = "Connection Closed Gracefully.";
inline constexpr char kNotConnected[] = "Not Connected";
inline constexpr char kAlreadyConnected[] = "Already connected.";

inline constexpr char kReplyLineTooLong[] =
    "The server sent a reply line longer than 64 KiB; the connection was dropped.";
inline constexpr char kReplyTooLong[] =
    "The server sent a reply longer than 1 MiB; the connection was dropped.";

// An address list entry whose address holds a blank or a byte beyond ASCII (%1: the entry).
inline constexpr char kUnsendableAddress[] =
    "Direcci\u00f3n de correo no v\u00e1lida: \u00ab%1\u00bb (una direcci\u00f3n no lleva "
    "espacios ni caracteres fuera de ASCII); el correo no se envi\u00f3 a nadie.";

// Time-outs: the wait that ran out is named after it.
inline constexpr char kTimeoutPrefix[] = "Timed out waiting for ";

}  // namespace zavelo::smtp
