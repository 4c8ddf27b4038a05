// Any bytes as an address-list text: the lexer's tokens must give the text back byte for byte,
// and the reader must neither crash nor read out of bounds,
// every entry it gives must be non-blank, trimmed and free of line ends, and the header field
// made from the list must not crash either.
#include <cstdint>
#include <cstdlib>

#include "mail/smtp/address_list.h"
#include "mail/smtp/mime_writer.h"
#include "mail/smtp/rfc5322_lexer.h"

using zavelo::smtp::AddressList;
using zavelo::smtp::MailAddress;
using zavelo::smtp::MimeWriter;

namespace {

bool isBlank(char c) {
  return c == ' ' || c == '\t' || c == '\r' || c == '\n';
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  const QByteArrayView text(reinterpret_cast<const char*>(data), static_cast<qsizetype>(size));
  QByteArray again;
  for (zavelo::smtp::Rfc5322Lexer lexer(text); !lexer.atEnd();) {
    const zavelo::smtp::Rfc5322Token token = lexer.next();
    if (token.text.isEmpty()) abort();
    again += token.text;
  }
  if (again != text) abort();
  const AddressList list = AddressList::parse(text);
  qsizetype total = 0;
  for (const MailAddress& a : list.entries()) {
    if (a.text.isEmpty() || isBlank(a.text.front()) || isBlank(a.text.back())) abort();
    if (!a.address.isEmpty() && (isBlank(a.address.front()) || isBlank(a.address.back()))) abort();
    // Nothing that could end a header field or an SMTP command early.
    if (a.text.contains('\r') || a.text.contains('\n') || a.address.contains('\r') ||
        a.address.contains('\n'))
      abort();
    total += a.text.size();
  }
  // No entry invents text: together they are never longer than the input.
  if (total > text.size()) abort();
  // Separators alone never make an entry; a text without any gives at most one.
  bool separator = false;
  for (const char c : text)
    if (c == ',' || c == ';') separator = true;
  if (!separator && list.size() > 1) abort();
  const QByteArray field = MimeWriter::addressField(list, 4);
  if (list.isEmpty() != field.isEmpty()) abort();
  return 0;
}
