#include "db/fb_session.h"

#include <QLocale>
#include <cstring>
#include <memory>

namespace zavelo::db::fb {

namespace {

using Firebird::IStatus;

// Calls one of the OO API's closing methods (commit, detach, close, free), which release the
// interface when they succeed; on failure the reference is kept for a plain release.
template <typename T, typename Call>
void closeRef(Ref<T>& ref, Status& status, Call call) {
  call(ref.get());
  if (!status.failed()) ref.take();
  status.check();
}

struct Column {
  unsigned type = 0;
  unsigned length = 0;
  int scale = 0;
  unsigned offset = 0;
  unsigned nullOffset = 0;
};

template <typename T>
T load(const unsigned char* p) {
  T v;
  std::memcpy(&v, p, sizeof v);
  return v;
}

// A whole number with the column's decimal scale (NUMERIC/DECIMAL keep theirs).
QByteArray scaled(qint64 v, int scale) {
  if (scale >= 0) {
    QByteArray s = QByteArray::number(v);
    if (v != 0) s.append(QByteArray(scale, '0'));
    return s;
  }
  const qsizetype digits = -scale;
  const bool negative = v < 0;
  const quint64 magnitude = negative ? 0 - quint64(v) : quint64(v);
  QByteArray s = QByteArray::number(magnitude);
  if (s.size() <= digits) s.prepend(QByteArray(digits - s.size() + 1, '0'));
  s.insert(s.size() - digits, '.');
  if (negative) s.prepend('-');
  return s;
}

QByteArray twoDigits(unsigned v) {
  return QByteArray::number(v).rightJustified(2, '0');
}

QByteArray dateText(Firebird::IUtil* util, ISC_DATE date) {
  unsigned y = 0, m = 0, d = 0;
  util->decodeDate(date, &y, &m, &d);
  return QByteArray::number(y).rightJustified(4, '0') + '-' + twoDigits(m) + '-' + twoDigits(d);
}

QByteArray timeText(Firebird::IUtil* util, ISC_TIME time) {
  unsigned h = 0, m = 0, s = 0, fractions = 0;
  util->decodeTime(time, &h, &m, &s, &fractions);
  QByteArray t = twoDigits(h) + ':' + twoDigits(m) + ':' + twoDigits(s);
  // Fractions are ten-thousandths of a second.
  if (fractions != 0) t += '.' + QByteArray::number(fractions).rightJustified(4, '0');
  return t;
}

// A blob read whole, whatever its size: text blobs give their bytes unchanged.
QByteArray readBlob(Status& st, Firebird::IAttachment* att, Firebird::ITransaction* tra,
                    ISC_QUAD id) {
  Ref<Firebird::IBlob> blob(att->openBlob(st.ptr(), tra, &id, 0, nullptr));
  st.check();
  QByteArray bytes;
  char segment[32768];
  for (;;) {
    unsigned got = 0;
    const int r = blob->getSegment(st.ptr(), sizeof segment, segment, &got);
    st.check();
    if (r != IStatus::RESULT_OK && r != IStatus::RESULT_SEGMENT) break;
    bytes.append(segment, qsizetype(got));
  }
  closeRef(blob, st, [&](Firebird::IBlob* b) { b->close(st.ptr()); });
  return bytes;
}

// Appends the column's value in the row just fetched to the rows: text as it lies in the
// message, without a copy of its own on the way.
void decodeInto(RowStore& rows, Status& st, const Client& client, Firebird::IAttachment* att,
                Firebird::ITransaction* tra, const Column& c, const unsigned char* buffer) {
  if (c.type == SQL_NULL || load<ISC_SHORT>(buffer + c.nullOffset) != 0) {
    rows.appendNull();
    return;
  }
  const unsigned char* p = buffer + c.offset;
  const char* text = reinterpret_cast<const char*>(p);
  switch (c.type) {
    case SQL_TEXT:  // CHAR keeps its padding
      return rows.appendValue(QByteArrayView(text, qsizetype(c.length)));
    case SQL_VARYING:
      return rows.appendValue(QByteArrayView(text + 2, qsizetype(load<quint16>(p))));
    case SQL_SHORT:
      return rows.appendValue(scaled(load<ISC_SHORT>(p), c.scale));
    case SQL_LONG:
      return rows.appendValue(scaled(load<ISC_LONG>(p), c.scale));
    case SQL_INT64:
      return rows.appendValue(scaled(load<ISC_INT64>(p), c.scale));
    case SQL_FLOAT:
      return rows.appendValue(
          QByteArray::number(double(load<float>(p)), 'g', QLocale::FloatingPointShortest));
    case SQL_DOUBLE:
    case SQL_D_FLOAT:
      return rows.appendValue(
          QByteArray::number(load<double>(p), 'g', QLocale::FloatingPointShortest));
    case SQL_BOOLEAN:
      return rows.appendValue(*p ? QByteArrayView("True") : QByteArrayView("False"));
    case SQL_TYPE_DATE:
      return rows.appendValue(dateText(client.util, load<ISC_DATE>(p)));
    case SQL_TYPE_TIME:
      return rows.appendValue(timeText(client.util, load<ISC_TIME>(p)));
    case SQL_TIMESTAMP: {
      const auto ts = load<ISC_TIMESTAMP>(p);
      return rows.appendValue(dateText(client.util, ts.timestamp_date) + ' ' +
                              timeText(client.util, ts.timestamp_time));
    }
    case SQL_BLOB:
      return rows.appendValue(readBlob(st, att, tra, load<ISC_QUAD>(p)));
    default:
      throw Error(QStringLiteral("Column type %1 cannot be read").arg(c.type));
  }
}

}  // namespace

Session::Session(const Client& client, const AttachSettings& settings)
    : client_(client), settings_(settings) {
  Status st(client_);
  provider_ = Ref(client_.master->getDispatcher());

  // The builder's parameter block carries its own version tag; builders are disposed.
  Firebird::IXpbBuilder* dpb =
      client_.util->getXpbBuilder(st.ptr(), Firebird::IXpbBuilder::DPB, nullptr, 0);
  st.check();
  const std::unique_ptr<Firebird::IXpbBuilder, void (*)(Firebird::IXpbBuilder*)> dpbOwner(
      dpb, [](Firebird::IXpbBuilder* b) { b->dispose(); });
  // The user name and password go as they are: the server decides what they mean.
  dpb->insertString(st.ptr(), isc_dpb_user_name, settings_.user.constData());
  st.check();
  dpb->insertString(st.ptr(), isc_dpb_password, settings_.password.constData());
  st.check();
  if (!settings_.role.isEmpty()) {
    dpb->insertString(st.ptr(), isc_dpb_sql_role_name, settings_.role.constData());
    st.check();
  }
  if (!settings_.charset.isEmpty()) {
    dpb->insertString(st.ptr(), isc_dpb_lc_ctype, settings_.charset.constData());
    st.check();
  }
  dpb->insertInt(st.ptr(), isc_dpb_sql_dialect, int(settings_.dialect));
  st.check();
  const unsigned length = dpb->getBufferLength(st.ptr());
  st.check();
  const unsigned char* buffer = dpb->getBuffer(st.ptr());
  st.check();

  attachment_ =
      Ref(provider_->attachDatabase(st.ptr(), settings_.database.constData(), length, buffer));
  st.check();
}

Session::~Session() {
  Status st(client_);
  if (transaction_) {
    transaction_->commit(st.ptr());
    if (!st.failed()) transaction_.take();
    st.clear();
    transaction_.reset();
  }
  if (attachment_) {
    attachment_->detach(st.ptr());
    if (!st.failed()) attachment_.take();
    st.clear();
    attachment_.reset();
  }
}

Firebird::ITransaction* Session::transaction(Status& st) {
  if (!transaction_) {
    // Read committed with record versions unless asked for a snapshot. Not read-only: the
    // system itself only reads, but the ERP's procedures it calls may write work rows.
    QByteArray tpb;
    tpb += char(isc_tpb_version3);
    if (settings_.repeatableRead) {
      tpb += char(isc_tpb_concurrency);
    } else {
      tpb += char(isc_tpb_read_committed);
      tpb += char(isc_tpb_rec_version);
    }
    tpb += char(settings_.waitOnLocks ? isc_tpb_wait : isc_tpb_nowait);
    transaction_ = Ref(attachment_->startTransaction(
        st.ptr(), unsigned(tpb.size()), reinterpret_cast<const unsigned char*>(tpb.constData())));
    st.check();
  }
  return transaction_.get();
}

void Session::endTransaction(Status& st, bool success) {
  if (!transaction_) return;
  if (success) {
    try {
      if (settings_.commitRetaining) {
        transaction_->commitRetaining(st.ptr());
        st.check();
      } else {
        closeRef(transaction_, st, [&](Firebird::ITransaction* t) { t->commit(st.ptr()); });
      }
      return;
    } catch (...) {
      // A commit that failed must not leave a dead transaction for the next statement.
      endTransaction(st, false);
      throw;
    }
  }
  // After a failure: roll back quietly, the statement's error is the one to report.
  Status quiet(client_);
  transaction_->rollback(quiet.ptr());
  if (!quiet.failed()) transaction_.take();
  transaction_.reset();
}

QueryResult Session::run(const QByteArray& sql) {
  Status st(client_);
  Firebird::ITransaction* tra = transaction(st);
  QueryResult result;
  try {
    Ref<Firebird::IStatement> stmt(
        attachment_->prepare(st.ptr(), tra, unsigned(sql.size()), sql.constData(),
                             settings_.dialect, Firebird::IStatement::PREPARE_PREFETCH_METADATA));
    st.check();
    Ref<Firebird::IMessageMetadata> meta(stmt->getOutputMetadata(st.ptr()));
    st.check();
    const unsigned count = meta->getCount(st.ptr());
    st.check();

    if (count == 0) {
      stmt->execute(st.ptr(), tra, nullptr, nullptr, nullptr, nullptr);
      st.check();
    } else {
      std::vector<Column> columns(count);
      result.rows = RowStore(count);
      for (unsigned i = 0; i < count; ++i) {
        Column& c = columns[i];
        const char* alias = meta->getAlias(st.ptr(), i);
        st.check();
        QByteArray name(alias ? alias : "");
        if (name.isEmpty()) {
          name = meta->getField(st.ptr(), i);
          st.check();
        }
        result.columns.append(name);
        c.type = meta->getType(st.ptr(), i) & ~1u;
        st.check();
        c.length = meta->getLength(st.ptr(), i);
        st.check();
        c.scale = meta->getScale(st.ptr(), i);
        st.check();
        c.offset = meta->getOffset(st.ptr(), i);
        st.check();
        c.nullOffset = meta->getNullOffset(st.ptr(), i);
        st.check();
      }
      const unsigned messageLength = meta->getMessageLength(st.ptr());
      st.check();
      // Eight-byte elements keep every field aligned as the client laid the message out.
      std::vector<ISC_INT64> storage((messageLength + sizeof(ISC_INT64) - 1) / sizeof(ISC_INT64));
      auto* buffer = reinterpret_cast<unsigned char*>(storage.data());

      Ref<Firebird::IResultSet> cursor(
          stmt->openCursor(st.ptr(), tra, nullptr, nullptr, meta.get(), 0));
      st.check();
      for (;;) {
        const int fetched = cursor->fetchNext(st.ptr(), buffer);
        st.check();
        if (fetched != IStatus::RESULT_OK) break;
        for (const Column& c : columns)
          decodeInto(result.rows, st, client_, attachment_.get(), tra, c, buffer);
      }
      closeRef(cursor, st, [&](Firebird::IResultSet* r) { r->close(st.ptr()); });
    }
    closeRef(stmt, st, [&](Firebird::IStatement* s) { s->free(st.ptr()); });
  } catch (...) {
    endTransaction(st, false);
    throw;
  }
  endTransaction(st, true);
  return result;
}

}  // namespace zavelo::db::fb
