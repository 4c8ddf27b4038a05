// The physical limit of an export: one statement over the Firebird OO API, every row's first
// column written with CR LF to a file through one large stdio buffer, nothing else. No Qt, so
// that its memory is the client library's and the buffer's alone.
//
//   export_bench_minimal <database> <user> <password> <sql> <output file>
#include <dlfcn.h>
#include <firebird/Interface.h>
#include <ibase.h>

#include <cstdio>
#include <cstring>
#include <vector>

using namespace Firebird;

int main(int argc, char** argv) {
  if (argc != 6) {
    std::fprintf(stderr, "usage: %s database user password sql output\n", argv[0]);
    return 2;
  }
  void* library = dlopen("libfbclient.so.2", RTLD_NOW);
  if (!library) library = dlopen("libfbclient.so", RTLD_NOW);
  if (!library) {
    std::fprintf(stderr, "cannot load fbclient: %s\n", dlerror());
    return 1;
  }
  using GetMaster = IMaster* (*)();
  auto getMaster = reinterpret_cast<GetMaster>(dlsym(library, "fb_get_master_interface"));
  if (!getMaster) {
    std::fprintf(stderr, "no fb_get_master_interface\n");
    return 1;
  }
  IMaster* master = getMaster();
  IUtil* util = master->getUtilInterface();
  IStatus* rawStatus = master->getStatus();
  ThrowStatusWrapper status(rawStatus);
  int rc = 0;
  try {
    IXpbBuilder* dpb = util->getXpbBuilder(&status, IXpbBuilder::DPB, nullptr, 0);
    dpb->insertString(&status, isc_dpb_user_name, argv[2]);
    dpb->insertString(&status, isc_dpb_password, argv[3]);
    IProvider* provider = master->getDispatcher();
    IAttachment* attachment = provider->attachDatabase(
        &status, argv[1], dpb->getBufferLength(&status), dpb->getBuffer(&status));
    dpb->dispose();
    ITransaction* transaction = attachment->startTransaction(&status, 0, nullptr);
    // Prepared first, then opened with its own output format, so that the client knows the
    // row layout and fetches rows from the server in batches.
    IStatement* statement = attachment->prepare(&status, transaction, 0, argv[4], SQL_DIALECT_V6,
                                                IStatement::PREPARE_PREFETCH_METADATA);
    IMessageMetadata* meta = statement->getOutputMetadata(&status);
    IResultSet* cursor = statement->openCursor(&status, transaction, nullptr, nullptr, meta, 0);
    const unsigned type = meta->getType(&status, 0) & ~1u;
    const unsigned offset = meta->getOffset(&status, 0);
    const unsigned nullOffset = meta->getNullOffset(&status, 0);
    const unsigned length = meta->getLength(&status, 0);
    std::vector<unsigned char> message(meta->getMessageLength(&status));
    meta->release();

    FILE* out = std::fopen(argv[5], "wb");
    if (!out) {
      std::perror(argv[5]);
      return 1;
    }
    static char buffer[1 << 18];
    std::setvbuf(out, buffer, _IOFBF, sizeof buffer);
    while (cursor->fetchNext(&status, message.data()) == IStatus::RESULT_OK) {
      short isNull;
      std::memcpy(&isNull, message.data() + nullOffset, sizeof isNull);
      if (!isNull) {
        if (type == SQL_VARYING) {
          unsigned short n;
          std::memcpy(&n, message.data() + offset, sizeof n);
          std::fwrite(message.data() + offset + 2, 1, n, out);
        } else {
          std::fwrite(message.data() + offset, 1, length, out);
        }
      }
      std::fwrite("\r\n", 1, 2, out);
    }
    if (std::fclose(out) != 0) {
      std::perror(argv[5]);
      rc = 1;
    }
    cursor->close(&status);
    statement->free(&status);
    transaction->commit(&status);
    attachment->detach(&status);
    provider->release();
  } catch (const FbException& e) {
    char text[1024];
    util->formatStatus(text, sizeof text, e.getStatus());
    std::fprintf(stderr, "%s\n", text);
    rc = 1;
  }
  rawStatus->dispose();
  return rc;
}
