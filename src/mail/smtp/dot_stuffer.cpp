#include "mail/smtp/dot_stuffer.h"

#include <cstring>

namespace zavelo::smtp {

void DotStuffer::apply(QByteArrayView in, QByteArray& out) {
  if (in.isEmpty()) return;
  any_ = true;
  qsizetype copied = 0;  // in[copied...] is not in out yet
  qsizetype i = 0;
  while (i < in.size()) {
    if (atLineStart_ && in[i] == '.') {
      out += in.sliced(copied, i - copied);
      out += '.';
      copied = i;
    }
    // Only CR LF ends a line; a lone LF does not.
    const void* lf = std::memchr(in.data() + i, '\n', static_cast<size_t>(in.size() - i));
    if (!lf) {
      atLineStart_ = false;
      break;
    }
    const qsizetype at = static_cast<const char*>(lf) - in.data();
    atLineStart_ = at > 0 ? in[at - 1] == '\r' : afterCr_;
    i = at + 1;
  }
  out += in.sliced(copied);
  afterCr_ = in.back() == '\r';
}

QByteArrayView DotStuffer::ending() const {
  return any_ && atLineStart_ ? QByteArrayView() : QByteArrayView("\r\n");
}

}  // namespace zavelo::smtp
