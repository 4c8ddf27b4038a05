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
constexpr size_t kWordsPerPage = size_t(1) << 15;

// A value's word: bit 63 marks NULL, bits 40..62 number its block, bits 0..39 give the offset
// in that block where its bytes end. They begin where the previous value's end, when that one
// lies in the same block, otherwise at the block's start.
constexpr int kBlockShift = 40;
constexpr uint64_t kNull = uint64_t(1) << 63;
constexpr uint64_t kEndMask = (uint64_t(1) << kBlockShift) - 1;
constexpr uint64_t kMaxBlocks = uint64_t(1) << (63 - kBlockShift);

size_t blockOf(uint64_t word) {
  return size_t((word & ~kNull) >> kBlockShift);
}

size_t endOf(uint64_t word) {
  return size_t(word & kEndMask);
}

[[noreturn]] void tooLarge() {
  throw Error(QStringLiteral("The result set is too large to hold in memory"));
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
  return columnCount_ == 0 ? 0 : wordCount_ / columnCount_;
}

size_t RowStore::size() const {
  return order_.empty() ? physicalRows() : order_.size();
}

size_t RowStore::physicalRow(size_t row) const {
  return order_.empty() ? row : order_[row];
}

uint64_t RowStore::word(size_t index) const {
  return wordPages_[index / kWordsPerPage][index % kWordsPerPage];
}

void RowStore::appendWord(uint64_t word) {
  if (wordCount_ % kWordsPerPage == 0 && wordCount_ / kWordsPerPage == wordPages_.size())
    wordPages_.push_back(std::make_unique_for_overwrite<uint64_t[]>(kWordsPerPage));
  wordPages_[wordCount_ / kWordsPerPage][wordCount_ % kWordsPerPage] = word;
  ++wordCount_;
}

void RowStore::appendValue(QByteArrayView bytes) {
  const size_t n = size_t(bytes.size());
  if (n > 0 && (blocks_.empty() || blocks_.back().capacity - blocks_.back().used < n)) {
    if (blocks_.size() >= kMaxBlocks || n > kEndMask) tooLarge();
    Block block;
    block.capacity = std::max(kBlockBytes, n);
    block.bytes = std::make_unique_for_overwrite<char[]>(block.capacity);
    blocks_.push_back(std::move(block));
  }
  uint64_t w = 0;
  if (!blocks_.empty()) {
    Block& block = blocks_.back();
    if (n > 0) std::memcpy(block.bytes.get() + block.used, bytes.data(), n);
    block.used += n;
    w = (uint64_t(blocks_.size() - 1) << kBlockShift) | block.used;
  }
  appendWord(w);
}

void RowStore::appendNull() {
  uint64_t w = kNull;
  if (!blocks_.empty()) w |= (uint64_t(blocks_.size() - 1) << kBlockShift) | blocks_.back().used;
  appendWord(w);
}

std::optional<QByteArrayView> RowStore::view(size_t row, size_t column) const {
  const size_t index = physicalRow(row) * columnCount_ + column;
  const uint64_t w = word(index);
  if (w & kNull) return std::nullopt;
  const size_t block = blockOf(w);
  size_t begin = 0;
  if (index > 0) {
    const uint64_t previous = word(index - 1);
    if (blockOf(previous) == block) begin = endOf(previous);
  }
  const size_t length = endOf(w) - begin;
  // An empty value may come before any block exists; it is still a value, not NULL.
  if (length == 0) return QByteArrayView("", 0);
  return QByteArrayView(blocks_[block].bytes.get() + begin, qsizetype(length));
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
  wordPages_ = std::vector<std::unique_ptr<uint64_t[]>>();
  wordCount_ = 0;
  order_ = std::vector<uint32_t>();
}

}  // namespace zavelo::db
