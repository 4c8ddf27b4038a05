#include "db/row_store.h"

#include <QString>
#include <algorithm>
#include <cstring>
#include <numeric>
#include <stdexcept>

#include "common/error.h"

namespace zavelo::db {

namespace {

// A block holds many values; one larger than this gets a block of its own size. Space a block
// never receives is never touched, so it costs address space, not memory.
constexpr size_t kBlockBytes = size_t(1) << 20;

// Every kStride-th value's position is kept; reaching any other one skips at most
// kStride - 1 headers.
constexpr size_t kStride = 16;

// A value's header is one number: 0 for NULL, otherwise its length + 1. It is written seven
// bits a byte, the lowest first, every byte but the last with its top bit set: one byte for a
// value shorter than 127 bytes, two below 16 KiB.
constexpr size_t kMaxHeaderBytes = 10;

size_t writeHeader(uint64_t number, unsigned char* out) {
  size_t n = 0;
  while (number >= 0x80) {
    out[n++] = static_cast<unsigned char>(number | 0x80);
    number >>= 7;
  }
  out[n++] = static_cast<unsigned char>(number);
  return n;
}

// Reads the header at `at` and moves `at` past it.
uint64_t readHeader(const unsigned char*& at) {
  uint64_t number = 0;
  for (int shift = 0;; shift += 7) {
    const unsigned char byte = *at++;
    number |= uint64_t(byte & 0x7f) << shift;
    if ((byte & 0x80) == 0) return number;
  }
}

[[noreturn]] void tooLarge() {
  throw Error(Error::Kind::Database,
              QStringLiteral("The result set is too large to hold in memory"));
}

}  // namespace

RowStore::Row RowStore::at(size_t row) const {
  if (row >= size()) throw std::out_of_range("RowStore::at: no such row");
  return Row(this, row);
}

Value RowStore::Row::at(size_t column) const {
  if (column >= size()) throw std::out_of_range("RowStore::Row::at: no such column");
  return store_->value(row_, column);
}

std::vector<Value> RowStore::Row::values() const {
  std::vector<Value> out;
  out.reserve(size());
  for (size_t c = 0; c < size(); ++c) out.push_back(store_->value(row_, c));
  return out;
}

size_t RowStore::physicalRows() const {
  return columnCount_ == 0 ? 0 : valueCount_ / columnCount_;
}

size_t RowStore::size() const {
  return order_.empty() ? physicalRows() : order_.size();
}

size_t RowStore::physicalRow(size_t row) const {
  return order_.empty() ? row : order_[row];
}

void RowStore::append(std::optional<QByteArrayView> bytes) {
  const size_t length = bytes ? size_t(bytes->size()) : 0;
  unsigned char header[kMaxHeaderBytes];
  const size_t headerSize = writeHeader(bytes ? uint64_t(length) + 1 : 0, header);
  const size_t needed = headerSize + length;
  // A value never straddles two blocks: one that does not fit starts the next block.
  if (blocks_.empty() || blocks_.back().capacity - blocks_.back().used < needed) {
    if (blocks_.size() >= UINT32_MAX) tooLarge();
    Block block;
    block.capacity = std::max(kBlockBytes, needed);
    block.bytes = std::make_unique_for_overwrite<unsigned char[]>(block.capacity);
    blocks_.push_back(std::move(block));
  }
  Block& block = blocks_.back();
  // Offsets fit 32 bits: only a block of one large value holds more than kBlockBytes, and that
  // value starts at offset 0.
  if (valueCount_ % kStride == 0)
    marks_.push_back({uint32_t(blocks_.size() - 1), uint32_t(block.used)});
  unsigned char* at = block.bytes.get() + block.used;
  std::memcpy(at, header, headerSize);
  if (length > 0) std::memcpy(at + headerSize, bytes->data(), length);
  block.used += needed;
  ++valueCount_;
}

void RowStore::appendValue(QByteArrayView bytes) {
  append(bytes);
}

void RowStore::appendNull() {
  append(std::nullopt);
}

RowStore::Position RowStore::positionOf(size_t index) const {
  Position at = marks_[index / kStride];
  for (size_t skip = index % kStride; skip > 0; --skip) at = after(at);
  return at;
}

RowStore::Position RowStore::after(Position at) const {
  const Block& block = blocks_[at.block];
  const unsigned char* p = block.bytes.get() + at.offset;
  const uint64_t header = readHeader(p);
  const size_t end = size_t(p - block.bytes.get()) + (header == 0 ? 0 : size_t(header - 1));
  // A block's values end where its used bytes do; the next value then opens the next block.
  if (end == block.used) return {at.block + 1, 0};
  return {at.block, uint32_t(end)};
}

std::optional<QByteArrayView> RowStore::read(Position at) const {
  const unsigned char* p = blocks_[at.block].bytes.get() + at.offset;
  const uint64_t header = readHeader(p);
  if (header == 0) return std::nullopt;
  return QByteArrayView(p, qsizetype(header - 1));
}

std::optional<QByteArrayView> RowStore::view(size_t row, size_t column) const {
  return read(positionOf(physicalRow(row) * columnCount_ + column));
}

Value RowStore::value(size_t row, size_t column) const {
  const std::optional<QByteArrayView> v = view(row, column);
  if (!v) return std::nullopt;
  return v->toByteArray();
}

void RowStore::insertRow(size_t position, const std::vector<Value>& row) {
  const size_t before = size();
  const size_t physical = physicalRows();
  if (physical >= UINT32_MAX) tooLarge();
  for (size_t c = 0; c < columnCount_; ++c) {
    if (c < row.size() && row[c]) {
      appendValue(*row[c]);
    } else {
      appendNull();
    }
  }
  position = std::min(position, before);
  if (order_.empty() && position == before) return;
  if (order_.empty()) {
    order_.resize(before);
    std::iota(order_.begin(), order_.end(), uint32_t(0));
  }
  order_.insert(order_.begin() + std::ptrdiff_t(position), uint32_t(physical));
}

void RowStore::clear() {
  // Assigning empty vectors, unlike clear(), gives their storage back as well.
  blocks_ = std::vector<Block>();
  marks_ = std::vector<Position>();
  valueCount_ = 0;
  order_ = std::vector<uint32_t>();
}

}  // namespace zavelo::db
