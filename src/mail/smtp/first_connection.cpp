#include "mail/smtp/first_connection.h"

#include <QEventLoop>
#include <QThread>
#include <QTimer>
#include <climits>
#include <vector>

namespace zavelo::smtp {

FirstConnection connectFirst(const QList<QHostAddress>& addresses, quint16 port,
                             const std::function<QTcpSocket*()>& makeSocket,
                             std::chrono::milliseconds fallThrough,
                             std::chrono::steady_clock::time_point deadline) {
  using std::chrono::duration_cast;
  using std::chrono::milliseconds;
  FirstConnection outcome;
  if (addresses.isEmpty()) return outcome;
  const auto remaining = [&] {
    return std::max<qint64>(
        0, duration_cast<milliseconds>(deadline - std::chrono::steady_clock::now()).count());
  };
  QThread* const caller = QThread::currentThread();

  std::unique_ptr<QThread> worker(QThread::create([&] {
    QEventLoop loop;
    bool done = false;
    const auto finish = [&] {
      done = true;
      loop.quit();
    };
    std::vector<std::unique_ptr<QTcpSocket>> attempts;
    QTcpSocket* winner = nullptr;
    qsizetype next = 0;
    int underWay = 0;
    QTimer fallThroughTimer;
    fallThroughTimer.setSingleShot(true);
    QTimer deadlineTimer;
    deadlineTimer.setSingleShot(true);

    std::function<void()> startNext = [&] {
      if (done || next >= addresses.size()) return;
      attempts.emplace_back(makeSocket());
      QTcpSocket* const socket = attempts.back().get();
      ++underWay;
      QObject::connect(socket, &QAbstractSocket::connected, &loop, [&, socket] {
        if (done) return;
        winner = socket;
        finish();
      });
      QObject::connect(socket, &QAbstractSocket::errorOccurred, &loop, [&, socket] {
        if (done || socket->state() == QAbstractSocket::ConnectedState) return;
        outcome.error = socket->error();
        outcome.errorString = socket->errorString();
        --underWay;
        // A refused address gives way to the next at once.
        if (next < addresses.size())
          startNext();
        else if (underWay == 0)
          finish();
      });
      const QHostAddress address = addresses[next++];
      fallThroughTimer.start(fallThrough);
      socket->connectToHost(address, port);
    };
    QObject::connect(&fallThroughTimer, &QTimer::timeout, &loop, [&] { startNext(); });
    QObject::connect(&deadlineTimer, &QTimer::timeout, &loop, [&] {
      outcome.timedOut = true;
      finish();
    });
    deadlineTimer.start(static_cast<int>(std::min<qint64>(remaining(), INT_MAX)));
    startNext();
    if (!done) loop.exec();

    for (auto& attempt : attempts) {
      if (attempt.get() == winner) continue;
      attempt->abort();
    }
    if (winner) {
      QObject::disconnect(winner, nullptr, &loop, nullptr);
      for (auto& attempt : attempts)
        if (attempt.get() == winner) static_cast<void>(attempt.release());
      // The caller goes on with the socket, so it must belong to the caller's thread.
      winner->moveToThread(caller);
      outcome.socket.reset(winner);
      outcome.timedOut = false;
    }
    attempts.clear();
  }));
  worker->start();
  // The worker ends by itself, at the latest when its deadline timer fires.
  worker->wait();
  return outcome;
}

}  // namespace zavelo::smtp
