// Opens a TCP connection to the first of a host's addresses that answers. The addresses are
// tried in their order; one that has not connected after a short delay gives way to the next,
// while its own attempt goes on alongside (RFC 8305), so that an address that silently drops
// the attempt (a broken IPv6 route is the usual one) does not use up the whole connect limit.
#pragma once

#include <QAbstractSocket>
#include <QHostAddress>
#include <QList>
#include <QString>
#include <QTcpSocket>
#include <chrono>
#include <functional>
#include <memory>

namespace zavelo::smtp {

struct FirstConnection {
  // The connected socket, owned by the calling thread; null when no address connected.
  std::unique_ptr<QTcpSocket> socket;
  // No address connected before the deadline.
  bool timedOut = false;
  // Otherwise the failure of the last attempt that failed.
  QAbstractSocket::SocketError error = QAbstractSocket::UnknownSocketError;
  QString errorString;
};

// Blocks the calling thread, without handling its events, until one address has connected,
// all have failed, or the deadline has passed. The attempts run on a thread of their own with
// its own event loop, so that several can be under way at once; makeSocket makes each socket
// there. The first that connects wins and the others are aborted.
FirstConnection connectFirst(const QList<QHostAddress>& addresses, quint16 port,
                             const std::function<QTcpSocket*()>& makeSocket,
                             std::chrono::milliseconds fallThrough,
                             std::chrono::steady_clock::time_point deadline);

}  // namespace zavelo::smtp
