#include "db/fb_session.h"

#include <QElapsedTimer>
#include <QLocale>
#include <cstring>
#include <memory>

#include "common/cp1252.h"

namespace zavelo::db::fb {

namespace {

using Firebird::IStatus;

// Calls one of the OO API's closing methods (commit, detach, close, free), which release the
// interface when they succeed; when one throws, the reference is kept for a plain release.
template <typename T, typename Call>
void closeRef(Ref<T>& ref, Call call) {
  call(ref.get());
  ref.take();
}

// Runs a call whose failure is of no interest: cleaning up after an earlier error, which is
// the one to report, or at the end with no one left to report to.
template <typename Call>
void dropErrors(Call call) {
  try {
    call();
  } catch (const Error&) {
  }
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
  Ref<Firebird::IBlob> blob(att->openBlob(&st, tra, &id, 0, nullptr));
  QByteArray bytes;
  char segment[32768];
  for (;;) {
    unsigned got = 0;
    const int r = blob->getSegment(&st, sizeof segment, segment, &got);
    if (r != IStatus::RESULT_OK && r != IStatus::RESULT_SEGMENT) break;
    bytes.append(segment, qsizetype(got));
  }
  closeRef(blob, [&](Firebird::IBlob* b) { b->close(&st); });
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
      throw Error(Error::Kind::Database,
                  QStringLiteral("Column type %1 cannot be read").arg(c.type));
  }
}

// The output columns' names (alias, else the field's name) and where each lies in the message.
std::vector<Column> readColumns(Status& st, Firebird::IMessageMetadata* meta,
                                QList<QByteArray>& names) {
  const unsigned count = meta->getCount(&st);
  std::vector<Column> columns(count);
  for (unsigned i = 0; i < count; ++i) {
    const char* alias = meta->getAlias(&st, i);
    QByteArray name(alias ? alias : "");
    if (name.isEmpty()) name = meta->getField(&st, i);
    names.append(name);
    Column& c = columns[i];
    c.type = meta->getType(&st, i) & ~1u;
    c.length = meta->getLength(&st, i);
    c.scale = meta->getScale(&st, i);
    c.offset = meta->getOffset(&st, i);
    c.nullOffset = meta->getNullOffset(&st, i);
  }
  return columns;
}

// Opens the statement's cursor and fetches all its rows, reading blobs whole.
RowStore fetchRows(Status& st, const Client& client, Firebird::IAttachment* att,
                   Firebird::ITransaction* tra, Firebird::IStatement* stmt,
                   Firebird::IMessageMetadata* meta, const std::vector<Column>& columns) {
  RowStore rows(columns.size());
  const unsigned messageLength = meta->getMessageLength(&st);
  // Eight-byte elements keep every field aligned as the client laid the message out.
  std::vector<ISC_INT64> storage((messageLength + sizeof(ISC_INT64) - 1) / sizeof(ISC_INT64));
  auto* buffer = reinterpret_cast<unsigned char*>(storage.data());

  Ref<Firebird::IResultSet> cursor(stmt->openCursor(&st, tra, nullptr, nullptr, meta, 0));
  while (cursor->fetchNext(&st, buffer) == IStatus::RESULT_OK) {
    for (const Column& c : columns) decodeInto(rows, st, client, att, tra, c, buffer);
  }
  closeRef(cursor, [&](Firebird::IResultSet* r) { r->close(&st); });
  return rows;
}

}  // namespace

Session::Session(const Client& client, const AttachSettings& settings)
    : client_(client), settings_(settings) {
  Status st(client_);
  provider_ = Ref(client_.master->getDispatcher());

  // The builder's parameter block carries its own version tag.
  const Disposed<Firebird::IXpbBuilder> dpb(
      client_.util->getXpbBuilder(&st, Firebird::IXpbBuilder::DPB, nullptr, 0));
  // The texts are the settings' Windows-1252 bytes. The client takes them in the system's
  // character set and passes them on as UTF-8: on Windows it converts them from the ANSI code
  // page itself, elsewhere it takes them as UTF-8 already, where a byte beyond ASCII (a
  // password with "ñ") is refused or means another text. So, there, they go as UTF-8, and the
  // parameter block says so.
#ifdef _WIN32
  const auto text = [](const QByteArray& bytes) { return bytes; };
#else
  const auto text = [](const QByteArray& bytes) { return fromCp1252(bytes).toUtf8(); };
  dpb->insertTag(&st, isc_dpb_utf8_filename);
#endif
  const QByteArray database = text(settings_.database);
  dpb->insertString(&st, isc_dpb_user_name, text(settings_.user).constData());
  dpb->insertString(&st, isc_dpb_password, text(settings_.password).constData());
  if (!settings_.role.isEmpty())
    dpb->insertString(&st, isc_dpb_sql_role_name, text(settings_.role).constData());
  if (!settings_.charset.isEmpty())
    dpb->insertString(&st, isc_dpb_lc_ctype, settings_.charset.constData());
  dpb->insertInt(&st, isc_dpb_sql_dialect, int(settings_.dialect));
  if (settings_.connectTimeout.count() > 0)
    dpb->insertInt(&st, isc_dpb_connect_timeout, int(settings_.connectTimeout.count()));
  const unsigned length = dpb->getBufferLength(&st);
  const unsigned char* buffer = dpb->getBuffer(&st);

  QElapsedTimer waited;
  waited.start();
  try {
    attachment_ = Ref(provider_->attachDatabase(&st, database.constData(), length, buffer));
  } catch (const Error& error) {
    // The client's own text for a server that never answered ("connection rejected by remote
    // interface") does not say so.
    if (settings_.connectTimeout.count() > 0 &&
        waited.elapsed() >= std::chrono::milliseconds(settings_.connectTimeout).count())
      throw Error(Error::Kind::Database,
                  QStringLiteral("The database server did not answer within %1 s (%2): %3")
                      .arg(settings_.connectTimeout.count())
                      .arg(fromCp1252(settings_.database), error.message()));
    throw;
  }
}

Session::~Session() {
  Status st(client_);
  if (transaction_) {
    dropErrors([&] { closeRef(transaction_, [&](Firebird::ITransaction* t) { t->commit(&st); }); });
    transaction_.reset();
  }
  if (attachment_) {
    dropErrors([&] { closeRef(attachment_, [&](Firebird::IAttachment* a) { a->detach(&st); }); });
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
        &st, unsigned(tpb.size()), reinterpret_cast<const unsigned char*>(tpb.constData())));
  }
  return transaction_.get();
}

void Session::endTransaction(Status& st, bool success) {
  if (!transaction_) return;
  if (success) {
    try {
      if (settings_.commitRetaining)
        transaction_->commitRetaining(&st);
      else
        closeRef(transaction_, [&](Firebird::ITransaction* t) { t->commit(&st); });
      return;
    } catch (...) {
      // A commit that failed must not leave a dead transaction for the next statement.
      endTransaction(st, false);
      throw;
    }
  }
  // After a failure: roll back quietly, the statement's error is the one to report.
  Status quiet(client_);
  dropErrors(
      [&] { closeRef(transaction_, [&](Firebird::ITransaction* t) { t->rollback(&quiet); }); });
  transaction_.reset();
}

QueryResult Session::run(const QByteArray& sql) {
  Status st(client_);
  Firebird::ITransaction* tra = transaction(st);
  QueryResult result;
  try {
    Ref<Firebird::IStatement> stmt(
        attachment_->prepare(&st, tra, unsigned(sql.size()), sql.constData(), settings_.dialect,
                             Firebird::IStatement::PREPARE_PREFETCH_METADATA));
    Ref<Firebird::IMessageMetadata> meta(stmt->getOutputMetadata(&st));
    const std::vector<Column> columns = readColumns(st, meta.get(), result.columns);
    if (columns.empty())
      stmt->execute(&st, tra, nullptr, nullptr, nullptr, nullptr);
    else
      result.rows = fetchRows(st, client_, attachment_.get(), tra, stmt.get(), meta.get(), columns);
    closeRef(stmt, [&](Firebird::IStatement* s) { s->free(&st); });
  } catch (...) {
    endTransaction(st, false);
    throw;
  }
  endTransaction(st, true);
  return result;
}

}  // namespace zavelo::db::fb
