// The system's ordinary error kind: database, conversion, range and mail errors all travel as
// this one type, so that an event handler's wrapper can catch it and show the general error
// report, and the mailing can tell a sending failure from anything else. It says where it
// arose, and a database error carries the Firebird error code, so that a caller (the journal,
// a test) can tell what it was without reading its text.
#pragma once

#include <QString>
#include <exception>
#include <optional>

namespace zavelo {

class Error : public std::exception {
 public:
  enum class Kind {
    General,   // none of the below: a stop asked from outside, a conversion of a value
    Database,  // the Firebird client, a statement, a result set
    Smtp,      // the mail server's dialogue
    File,      // a file the program reads or locks
    Settings,  // the registry, the settings file, the company's configuration values
  };

  explicit Error(QString message) : Error(Kind::General, std::move(message)) {}
  Error(Kind kind, QString message, std::optional<long> firebirdCode = std::nullopt)
      : kind_(kind),
        firebirdCode_(firebirdCode),
        message_(std::move(message)),
        utf8_(message_.toUtf8()) {}

  Kind kind() const noexcept { return kind_; }
  // The first ISC code of the status vector (335544580 for an unknown table, ...), for errors
  // the Firebird client reported.
  std::optional<long> firebirdCode() const noexcept { return firebirdCode_; }
  const QString& message() const noexcept { return message_; }
  const char* what() const noexcept override { return utf8_.constData(); }

 private:
  Kind kind_;
  std::optional<long> firebirdCode_;
  QString message_;
  QByteArray utf8_;
};

}  // namespace zavelo
