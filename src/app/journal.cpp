#include "app/journal.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <cstdlib>

#include "app/console.h"
#include "export/report_kind.h"

namespace zavelo {
namespace {

using exporting::RunEvent;

// Control characters (from a server's reply, an error text, a file name) written as \xNN, so
// that every line stays text; tabs stay. Backslashes stay as they are: Windows paths are full
// of them.
QString escaped(const QString& text) {
  QString out;
  out.reserve(text.size());
  for (const QChar c : text) {
    const char16_t u = c.unicode();
    if ((u < 0x20 && u != u'\t') || (u >= 0x7F && u <= 0x9F))
      out += QStringLiteral("\\x%1").arg(int(u), 2, 16, QChar(u'0'));
    else
      out += c;
  }
  return out;
}

// "inventarios" or "ventas", as the files are named.
QString kindName(const RunEvent& event) {
  return event.kind ? QString::fromLatin1(exporting::reportKind(*event.kind).filePrefix)
                    : QString();
}

QString day(const RunEvent& event) {
  return event.day.toString(Qt::ISODate);
}

QString fileOf(const RunEvent& event) {
  return QStringLiteral("%1 del %2 (%3)")
      .arg(kindName(event), day(event), QDir::toNativeSeparators(event.path));
}

QString boxName(ProgramEvent::Box box) {
  switch (box) {
    case ProgramEvent::Box::ErrorReport:
      return QStringLiteral("error");
    case ProgramEvent::Box::Notice:
      return QStringLiteral("aviso");
    case ProgramEvent::Box::ErrorBox:
      return QStringLiteral("error de configuraci\u00f3n");
  }
  return {};
}

// What the error that stopped a run was, after its text: " (error de base de datos, código
// ISC 335544580)"; nothing for an error of no particular kind.
QString errorWhat(const RunEvent& event) {
  QString what;
  switch (event.error) {
    case Error::Kind::General:
      return {};
    case Error::Kind::Database:
      what = QStringLiteral("error de base de datos");
      break;
    case Error::Kind::Smtp:
      what = QStringLiteral("error del servidor de correo");
      break;
    case Error::Kind::File:
      what = QStringLiteral("error de archivo");
      break;
    case Error::Kind::Settings:
      what = QStringLiteral("error de configuraci\u00f3n");
      break;
  }
  if (event.firebirdCode) what += QStringLiteral(", c\u00f3digo ISC %1").arg(*event.firebirdCode);
  return QStringLiteral(" (%1)").arg(what);
}

// The local time with its offset from UTC, to the second: 2026-12-10T06:54:06-05:00.
QString stamp(const QDateTime& time) {
  const int offset = time.offsetFromUtc();
  const int minutes = std::abs(offset) / 60;
  return time.toString(QStringLiteral("yyyy-MM-ddTHH:mm:ss")) + (offset < 0 ? u'-' : u'+') +
         QStringLiteral("%1:%2")
             .arg(minutes / 60, 2, 10, QChar(u'0'))
             .arg(minutes % 60, 2, 10, QChar(u'0'));
}

}  // namespace

QString journalText(const RunEvent& event) {
  using T = RunEvent::Type;
  switch (event.type) {
    case T::Connecting:
      return QStringLiteral("Conexi\u00f3n: base de datos %1, usuario %2")
          .arg(oneLine(event.text), oneLine(event.detail));
    case T::RunStarted:
      return QStringLiteral("Corrida: desde el %1").arg(day(event));
    case T::FileWritten:
      return QStringLiteral("Archivo escrito: %1, %2 l\u00edneas, %3 bytes")
          .arg(fileOf(event))
          .arg(event.rows)
          .arg(event.bytes);
    case T::FileNotWritten:
      return QStringLiteral("Archivo NO escrito: %1: %2").arg(fileOf(event), oneLine(event.text));
    case T::MailSent:
      if (event.detail.isEmpty())
        return QStringLiteral("Correo enviado: %1; respuesta del servidor: %2")
            .arg(fileOf(event), oneLine(event.text));
      return QStringLiteral("Correo enviado: %1; conexi\u00f3n %2; respuesta del servidor: %3")
          .arg(fileOf(event), oneLine(event.detail), oneLine(event.text));
    case T::MailFailed:
      return QStringLiteral("Correo NO enviado (error): %1: %2")
          .arg(fileOf(event), oneLine(event.text));
    case T::MailNotAttempted:
      return QStringLiteral("Correo NO enviado (no intentado): %1: %2")
          .arg(fileOf(event), event.text.isEmpty()
                                  ? QStringLiteral("el usuario no tiene cuenta de correo")
                                  : oneLine(event.text));
    case T::DayEnded:
      // The window's own bookkeeping between days says nothing the file lines do not.
      return {};
    case T::RunEnded:
      return QStringLiteral("Corrida terminada: el \u00faltimo correo intentado %1")
          .arg(event.resultFlag ? QStringLiteral("sali\u00f3")
                                : QStringLiteral("no sali\u00f3 (o no hubo correo)"));
    case T::RunStopped:
      return QStringLiteral("Corrida detenida por un error: ") + oneLine(event.text) +
             errorWhat(event);
  }
  return {};
}

QString journalText(const ProgramEvent& event) {
  using T = ProgramEvent::Type;
  switch (event.type) {
    case T::ProgramStarted:
      return QStringLiteral("Inicio: ") + oneLine(event.text);
    case T::SettingsRead:
      return QStringLiteral("Configuraci\u00f3n: %1, modo %2")
          .arg(oneLine(event.text), oneLine(event.detail));
    case T::MessageBox:
      return QStringLiteral("Mensaje (%1): %2").arg(boxName(event.box), oneLine(event.text));
    case T::AlreadyRunning:
      return QStringLiteral(
                 "Otra corrida desatendida est\u00e1 en curso (%1): este arranque no "
                 "hace nada")
          .arg(oneLine(event.text));
    case T::StartRefused:
      return QStringLiteral("Arranque detenido: ") + oneLine(event.text);
    case T::Stopped:
      return QStringLiteral("Detenido por la se\u00f1al %1: el programa termina")
          .arg(oneLine(event.text));
    case T::ProgramEnded:
      return QStringLiteral("Fin: estado de salida %1").arg(event.exitStatus);
  }
  return {};
}

Journal::Journal(QString path, qint64 rolloverBytes)
    : path_(std::move(path)),
      rolloverBytes_(rolloverBytes),
      now_([] { return QDateTime::currentDateTime(); }) {}

void Journal::addSecret(const QString& secret) {
  if (!secret.isEmpty() && !secrets_.contains(secret)) secrets_.append(secret);
}

QString Journal::scrubbed(QString text) const {
  for (const QString& secret : secrets_) text.replace(secret, QStringLiteral("********"));
  return text;
}

// Only the texts that come from outside (paths, the database and its user, replies, errors,
// what a box says) could carry a password: they are masked before they are put into the
// program's own words, which masking never touches.
void Journal::record(const RunEvent& event) {
  RunEvent masked = event;
  masked.text = scrubbed(event.text);
  masked.detail = scrubbed(event.detail);
  masked.path = scrubbed(event.path);
  writeLine(journalText(masked));
}

void Journal::record(const ProgramEvent& event) {
  // The start line, the mode and the lock lines are the program's own.
  using T = ProgramEvent::Type;
  ProgramEvent masked = event;
  if (event.type != T::ProgramStarted && event.type != T::AlreadyRunning &&
      event.type != T::StartRefused)
    masked.text = scrubbed(event.text);
  if (event.type != T::SettingsRead) masked.detail = scrubbed(event.detail);
  writeLine(journalText(masked));
}

void Journal::writeLine(const QString& text) {
  if (!text.isEmpty()) write(text);
}

void Journal::write(const QString& text) {
  // A line is kept to a size one reads: a server that replies with a mebibyte of noise does
  // not fill the journal with it.
  QString shown = escaped(text);
  if (shown.size() > kMaxLineLength)
    shown = shown.left(kMaxLineLength) +
            QStringLiteral(" \u2026 (%1 caracteres m\u00e1s)").arg(shown.size() - kMaxLineLength);
  const QByteArray line = (stamp(now_()) + u' ' + shown).toUtf8() + '\n';
  const QFileInfo info(path_);
  if (info.exists() && info.size() > 0 && info.size() + line.size() > rolloverBytes_) {
    // One earlier file is kept; the one before it goes.
    const QString earlier = path_ + QStringLiteral(".1");
    QFile::remove(earlier);
    if (!QFile::rename(path_, earlier)) {
      complain(QStringLiteral("no se pudo apartar el archivo lleno a %1").arg(earlier));
      QFile::remove(path_);
    }
  }
  QFile file(path_);
  if (!file.open(QIODevice::WriteOnly | QIODevice::Append)) {
    complain(file.errorString());
    return;
  }
  if (file.write(line) != line.size() || !file.flush()) complain(file.errorString());
}

void Journal::complain(const QString& why) {
  if (complained_) return;
  complained_ = true;
  printLine(stderr, QStringLiteral("ZadiRod: no se puede escribir el registro %1: %2")
                        .arg(QDir::toNativeSeparators(path_), why));
}

}  // namespace zavelo
