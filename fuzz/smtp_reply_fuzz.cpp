// Any bytes as a server's replies: the reader must neither crash nor read out of bounds, must
// give the same replies (or the same error) however the bytes are split into reads, must never
// hand out a line past its limit, and must never hold more than its room.
#include <cstdint>
#include <cstdlib>

#include "common/error.h"
#include "mail/smtp/reply_reader.h"

using zavelo::smtp::ReplyReader;
using zavelo::smtp::SmtpReply;

namespace {

constexpr qsizetype kLineLimit = 40;
constexpr qsizetype kReplyLimit = 400;

struct Result {
  QList<SmtpReply> replies;
  bool error = false;
};

Result readInPieces(QByteArrayView bytes, qsizetype piece) {
  Result r;
  ReplyReader reader(kLineLimit, kReplyLimit);
  try {
    // The reader takes what it has room for; the rest is offered again once replies are out.
    for (qsizetype at = 0; at < bytes.size();) {
      const qsizetype taken = reader.feed(bytes.sliced(at, std::min(piece, bytes.size() - at)));
      if (taken > piece || reader.room() < 0) abort();
      at += taken;
      bool any = false;
      while (auto reply = reader.takeReply()) {
        r.replies.append(*reply);
        any = true;
      }
      if (taken == 0 && !any) abort();  // stuck: neither room nor a reply to take
    }
  } catch (const zavelo::Error&) {
    r.error = true;
  }
  return r;
}

bool same(const Result& a, const Result& b) {
  if (a.error != b.error) return false;
  if (a.error) return true;  // where the error struck may differ with the reads
  if (a.replies.size() != b.replies.size()) return false;
  for (qsizetype i = 0; i < a.replies.size(); ++i)
    if (a.replies[i].code != b.replies[i].code || a.replies[i].lines != b.replies[i].lines)
      return false;
  return true;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  if (size < 1) return 0;
  // The first byte chooses the size of the reads. The limits are set low, so that short
  // inputs reach them too.
  const qsizetype piece = 1 + data[0] % 17;
  const QByteArrayView bytes(reinterpret_cast<const char*>(data) + 1,
                             static_cast<qsizetype>(size - 1));
  const Result whole = readInPieces(bytes, std::max<qsizetype>(1, bytes.size()));
  const Result pieces = readInPieces(bytes, piece);
  if (!same(whole, pieces)) abort();
  for (const SmtpReply& reply : whole.replies) {
    if (reply.code < 0 || reply.code > 999 || reply.lines.isEmpty()) abort();
    for (const QByteArray& line : reply.lines)
      if (line.size() > kLineLimit || line.contains('\n')) abort();
    if (reply.errorText().count('\n') < reply.lines.size()) abort();
  }
  return 0;
}
