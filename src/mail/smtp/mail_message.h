// The message the SMTP client sends: envelope and header values as 8-bit text, the body as
// lines, and the files to attach.
#pragma once

#include <QByteArray>
#include <QByteArrayView>
#include <QDateTime>
#include <QList>
#include <QString>

#include "mail/smtp/address_list.h"

namespace zavelo::smtp {

class MailMessage {
 public:
  const QByteArray& sender() const { return sender_; }
  void setSender(const QByteArray& sender) { sender_ = sender; }

  AddressList& recipients() { return recipients_; }
  const AddressList& recipients() const { return recipients_; }
  AddressList& ccList() { return ccList_; }
  const AddressList& ccList() const { return ccList_; }
  AddressList& bccList() { return bccList_; }
  const AddressList& bccList() const { return bccList_; }

  const QByteArray& subject() const { return subject_; }
  void setSubject(const QByteArray& subject) { subject_ = subject; }

  const QList<QByteArray>& body() const { return body_; }
  void setBody(const QList<QByteArray>& lines) { body_ = lines; }
  // Splits a text into body lines at every CR LF pair, every lone CR and every lone LF. A text
  // that ends in a line end gives no empty line after it; an empty text gives no lines.
  void setBodyText(QByteArrayView text);
  // The body as one text, each line followed by CR LF.
  QByteArray bodyText() const;

  const QList<QString>& attachments() const { return attachments_; }
  void clearParts() { attachments_.clear(); }
  void addAttachment(const QString& path) { attachments_.append(path); }

  // When set (the default), the Date field is the time of sending; otherwise date() is used.
  bool dateAtSend() const { return dateAtSend_; }
  void setDateAtSend(bool atSend) { dateAtSend_ = atSend; }
  const QDateTime& date() const { return date_; }
  void setDate(const QDateTime& date) { date_ = date; }

 private:
  QByteArray sender_;
  AddressList recipients_;
  AddressList ccList_;
  AddressList bccList_;
  QByteArray subject_;
  QList<QByteArray> body_;
  QList<QString> attachments_;
  bool dateAtSend_ = true;
  QDateTime date_;
};

}  // namespace zavelo::smtp
