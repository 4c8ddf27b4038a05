// A list of mail addresses read from the text a user or the database gives, such as
// "ana@example.com; Luis <luis@example.com>, Ventas: pedro@example.com;".
#pragma once

#include <QByteArray>
#include <QByteArrayView>
#include <QList>

namespace zavelo::smtp {

struct MailAddress {
  // The entry as written, blanks at both ends removed: what the To and Cc fields show.
  QByteArray text;
  // The display name before the angle brackets (as written, quotes kept), or empty.
  QByteArray name;
  // The address alone, as RCPT TO uses it.
  QByteArray address;

  friend bool operator==(const MailAddress&, const MailAddress&) = default;
};

// Whether an address can go on the wire as it is: not empty, and only printable ASCII with no
// blank. Anything else would be read by a server as some other mailbox, or refused.
bool isSendableAddress(QByteArrayView address);

class AddressList {
 public:
  // Splits a text into entries: a comma or a semicolon ends an entry, a colon ends a group
  // label (dropped with the text before it), none of them count inside double quotes or
  // (nested) parentheses, a backslash makes the next character ordinary. Blank entries are
  // dropped; a text of blanks gives an empty list.
  static AddressList parse(QByteArrayView text);

  // Reads one entry: a bare address, a display name and the address in angle brackets, or
  // words followed by a bare address (the words are the name). Line ends inside it are
  // removed (unfolded).
  static MailAddress parseEntry(QByteArrayView entry);

  void clear() { entries_.clear(); }
  void append(const MailAddress& address) { entries_.append(address); }
  // Replaces the entries with those read from a text.
  void setText(QByteArrayView text) { entries_ = parse(text).entries_; }

  const QList<MailAddress>& entries() const { return entries_; }
  qsizetype size() const { return entries_.size(); }
  bool isEmpty() const { return entries_.isEmpty(); }
  QList<QByteArray> addresses() const;

 private:
  QList<MailAddress> entries_;
};

}  // namespace zavelo::smtp
