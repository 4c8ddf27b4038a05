#include "mail/smtp/first_connection.h"

#include <QEventLoop>
#include <QThread>
#include <QTimer>
#include <climits>
#include <vector>

namespace zavelo::smtp {
namespace {

// The race of the attempts, made and run on the worker thread, in that thread's event loop:
// the addresses are started one after another, each after the one before failed or after the
// fall-through delay, and the first that connects wins.
class ConnectionRace {
 public:
  ConnectionRace(const QList<QHostAddress>& addresses, quint16 port,
                 const std::function<QTcpSocket*()>& makeSocket,
                 std::chrono::milliseconds fallThrough, FirstConnection& outcome)
      : addresses_(addresses),
        port_(port),
        makeSocket_(makeSocket),
        fallThrough_(fallThrough),
        outcome_(outcome) {
    fallThroughTimer_.setSingleShot(true);
    deadlineTimer_.setSingleShot(true);
    QObject::connect(&fallThroughTimer_, &QTimer::timeout, &loop_, [this] { startNext(); });
    QObject::connect(&deadlineTimer_, &QTimer::timeout, &loop_, [this] {
      outcome_.timedOut = true;
      finish();
    });
  }

  // Runs the race for at most timeLeft ms; the winner, if any, then belongs to owner.
  void run(qint64 timeLeft, QThread* owner) {
    deadlineTimer_.start(static_cast<int>(std::min<qint64>(timeLeft, INT_MAX)));
    startNext();
    if (!done_) loop_.exec();
    handOver(owner);
  }

 private:
  void startNext() {
    if (done_ || next_ >= addresses_.size()) return;
    attempts_.emplace_back(makeSocket_());
    QTcpSocket* const socket = attempts_.back().get();
    ++underWay_;
    QObject::connect(socket, &QAbstractSocket::connected, &loop_,
                     [this, socket] { connected(socket); });
    QObject::connect(socket, &QAbstractSocket::errorOccurred, &loop_,
                     [this, socket] { failed(socket); });
    const QHostAddress address = addresses_[next_++];
    fallThroughTimer_.start(fallThrough_);
    socket->connectToHost(address, port_);
  }

  void connected(QTcpSocket* socket) {
    if (done_) return;
    winner_ = socket;
    finish();
  }

  void failed(QTcpSocket* socket) {
    if (done_ || socket->state() == QAbstractSocket::ConnectedState) return;
    outcome_.error = socket->error();
    outcome_.errorString = socket->errorString();
    --underWay_;
    // A refused address gives way to the next at once.
    if (next_ < addresses_.size())
      startNext();
    else if (underWay_ == 0)
      finish();
  }

  void finish() {
    done_ = true;
    loop_.quit();
  }

  // The losers are aborted; the winner goes to the owner's thread, where the caller goes on
  // with it.
  void handOver(QThread* owner) {
    for (auto& attempt : attempts_)
      if (attempt.get() != winner_) attempt->abort();
    if (winner_) {
      QObject::disconnect(winner_, nullptr, &loop_, nullptr);
      for (auto& attempt : attempts_)
        if (attempt.get() == winner_) static_cast<void>(attempt.release());
      winner_->moveToThread(owner);
      outcome_.socket.reset(winner_);
      outcome_.timedOut = false;
    }
    attempts_.clear();
  }

  const QList<QHostAddress>& addresses_;
  const quint16 port_;
  const std::function<QTcpSocket*()>& makeSocket_;
  const std::chrono::milliseconds fallThrough_;
  FirstConnection& outcome_;

  QEventLoop loop_;
  QTimer fallThroughTimer_;
  QTimer deadlineTimer_;
  std::vector<std::unique_ptr<QTcpSocket>> attempts_;
  QTcpSocket* winner_ = nullptr;
  qsizetype next_ = 0;
  int underWay_ = 0;
  bool done_ = false;
};

}  // namespace

FirstConnection connectFirst(const QList<QHostAddress>& addresses, quint16 port,
                             const std::function<QTcpSocket*()>& makeSocket,
                             std::chrono::milliseconds fallThrough,
                             std::chrono::steady_clock::time_point deadline) {
  FirstConnection outcome;
  if (addresses.isEmpty()) return outcome;
  QThread* const caller = QThread::currentThread();
  const std::unique_ptr<QThread> worker(QThread::create([&] {
    ConnectionRace race(addresses, port, makeSocket, fallThrough, outcome);
    race.run(std::max<qint64>(0, std::chrono::duration_cast<std::chrono::milliseconds>(
                                     deadline - std::chrono::steady_clock::now())
                                     .count()),
             caller);
  }));
  worker->start();
  // The worker ends by itself, at the latest when its deadline timer fires.
  worker->wait();
  return outcome;
}

}  // namespace zavelo::smtp
