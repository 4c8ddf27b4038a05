// Makes message data transparent for the SMTP DATA command (RFC 5321 4.5.2) as it streams
// past: a line that starts with "." gets a second one, whichever block the line starts in.
#pragma once

#include <QByteArray>
#include <QByteArrayView>

namespace zavelo::smtp {

class DotStuffer {
 public:
  // Appends the next bytes of the data to out, stuffed.
  void apply(QByteArrayView in, QByteArray& out);
  // What must follow the data before the final ".": a line end when the data did not end
  // with one (empty data included).
  QByteArrayView ending() const;

 private:
  bool atLineStart_ = true;  // the next byte starts a line
  bool afterCr_ = false;     // the last byte was CR
  bool any_ = false;
};

}  // namespace zavelo::smtp
