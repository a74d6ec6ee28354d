#include "scan/group_tree.h"

#include <sys/mman.h>
#include <xxhash.h>

#include <algorithm>
#include <cstdint>
#include <cstring>
#include <new>
#include <stdexcept>

TextArena::TextArena() : blocks_(std::make_unique<std::unique_ptr<char[]>[]>(MAX_BLOCKS)) {}

std::uint32_t TextArena::add(std::string_view text) {
  const std::size_t need = text.size() + 1;
  // Paths and keys are far shorter than a block (PATH_MAX at most).
  if (need > BLOCK_SIZE) throw std::length_error("text longer than an arena block");
  if (BLOCK_SIZE - used_ < need) {
    if (block_count_ == MAX_BLOCKS) throw std::bad_alloc();
    blocks_[block_count_++] = std::make_unique_for_overwrite<char[]>(BLOCK_SIZE);
    used_ = 0;
  }
  const std::size_t block = block_count_ - 1;
  char* at = blocks_[block].get() + used_;
  std::memcpy(at, text.data(), text.size());
  at[text.size()] = '\0';
  const auto ref = static_cast<std::uint32_t>((block << OFFSET_BITS) | used_);
  used_ += need;
  return ref;
}

void TextArena::clear() {
  for (std::size_t i = 0; i < block_count_; ++i) blocks_[i].reset();
  block_count_ = 0;
  used_ = BLOCK_SIZE;
}

void* FileStore::map_chunk(std::size_t bytes) {
  // Mapped with a large page's worth to spare, then cut to a 2 MB boundary:
  // only an aligned range can be given large pages. The system's pages
  // come zeroed and cost memory once touched. (A chunk is whole large
  // pages: see the static_asserts.)
  void* mapped =
      mmap(nullptr, bytes + LARGE_PAGE, PROT_READ | PROT_WRITE, MAP_PRIVATE | MAP_ANONYMOUS, -1, 0);
  if (mapped == MAP_FAILED) throw std::bad_alloc();
  const auto start = reinterpret_cast<std::uintptr_t>(mapped);
  const std::uintptr_t aligned = (start + LARGE_PAGE - 1) & ~(LARGE_PAGE - 1);
  if (aligned > start) munmap(mapped, aligned - start);
  const std::uintptr_t end = start + bytes + LARGE_PAGE;
  if (end > aligned + bytes)
    munmap(reinterpret_cast<void*>(aligned + bytes), end - aligned - bytes);
  // Only advice: without large pages the chunk is made of small ones.
  madvise(reinterpret_cast<void*>(aligned), bytes, MADV_HUGEPAGE);
  return reinterpret_cast<void*>(aligned);
}

void FileStore::unmap_chunk(void* chunk, std::size_t bytes) { munmap(chunk, bytes); }

FileStore::FileStore()
    : chunks_(std::make_unique<Chunk[]>(MAX_CHUNKS)),
      records_(std::make_unique<RecordChunk[]>(MAX_RECORD_CHUNKS)) {}

FileContents& FileStore::contents_for(std::uint32_t n) {
  RecordChunk& chunk = records_[n >> RECORD_CHUNK_BITS];
  if (!chunk) {
    // All-zero records are empty ones, as the system's pages come.
    chunk.reset(static_cast<FileContents*>(map_chunk(RECORD_CHUNK * sizeof(FileContents))));
  }
  return chunk[n & (RECORD_CHUNK - 1)];
}

const FileContents* FileStore::contents(std::uint32_t n) const {
  const RecordChunk& chunk = records_[n >> RECORD_CHUNK_BITS];
  return chunk ? &chunk[n & (RECORD_CHUNK - 1)] : nullptr;
}

std::uint32_t FileStore::directory(std::string_view dir) {
  if (have_last_dir_ && texts_.view(dir_refs_[last_dir_]) == dir) return dir_refs_[last_dir_];
  const std::uint64_t hash = XXH3_64bits(dir.data(), dir.size());
  std::uint32_t index =
      dirs_.find(hash, [&](std::uint32_t i) { return texts_.view(dir_refs_[i]) == dir; });
  if (index == HashIndex::NONE) {
    index = static_cast<std::uint32_t>(dir_refs_.size());
    dir_refs_.push_back(texts_.add(dir));
    dirs_.add(hash, index);
  }
  last_dir_ = index;
  have_last_dir_ = true;
  return dir_refs_[index];
}

std::uint32_t FileStore::add(std::string_view path, const FileFacts& facts) {
  if (count_ == MAX_CHUNKS * CHUNK) throw std::bad_alloc();
  const std::size_t slash = path.rfind('/');
  // "/x" lies in "/" (kept as ""), "x" in no directory (also "").
  const std::string_view dir = slash == std::string_view::npos ? "" : path.substr(0, slash);
  const std::string_view name = slash == std::string_view::npos ? path : path.substr(slash + 1);
  const std::size_t chunk = count_ >> CHUNK_BITS;
  if (!chunks_[chunk]) {
    chunks_[chunk] = Chunk(static_cast<GroupMember*>(map_chunk(CHUNK * sizeof(GroupMember))));
  }
  const auto n = static_cast<std::uint32_t>(count_++);
  GroupMember& m = *new (&chunks_[chunk][n & (CHUNK - 1)]) GroupMember{};
  m.facts = facts;
  m.dir = directory(dir);
  m.name = texts_.add(name);
  m.with_dir = slash != std::string_view::npos;
  return n;
}

void FileStore::path_of(const GroupMember& m, std::string& out) const {
  out.assign(texts_.view(m.dir));
  if (m.with_dir) out.push_back('/');
  out.append(texts_.view(m.name));
}

void FileStore::clear() {
  for (std::size_t i = 0; i * CHUNK < count_; ++i) chunks_[i].reset();
  for (std::size_t i = 0; i * RECORD_CHUNK < count_; ++i) records_[i].reset();
  count_ = 0;
  texts_.clear();
  dirs_.clear();
  dir_refs_.clear();
  dir_refs_.shrink_to_fit();
  have_last_dir_ = false;
}

void HashIndex::add(std::uint64_t hash, std::uint32_t value) {
  if ((used_ + 1) * 2 > slots_.size()) grow();
  add_tag(static_cast<std::uint32_t>(hash), value);
}

void HashIndex::add_tag(std::uint32_t tag, std::uint32_t value) {
  std::size_t i = tag & mask_;
  while (slots_[i].value != NONE) i = (i + 1) & mask_;
  slots_[i] = {tag, value};
  ++used_;
}

void HashIndex::grow() {
  std::vector<Slot> old = std::move(slots_);
  slots_.assign(old.empty() ? 1024 : old.size() * 2, Slot{0, NONE});
  mask_ = slots_.size() - 1;
  used_ = 0;
  for (const Slot& s : old) {
    if (s.value != NONE) add_tag(s.tag, s.value);
  }
}

void HashIndex::clear() {
  std::vector<Slot>().swap(slots_);
  mask_ = 0;
  used_ = 0;
}

std::int32_t GroupTree::insert(std::string_view key, std::uint32_t file, GroupNode** group) {
  const std::uint64_t key_hash = XXH3_64bits(key.data(), key.size());
  std::uint32_t index =
      key_index_.find(key_hash, [&](std::uint32_t i) { return groups_[i].key == key; });
  if (index == HashIndex::NONE) {
    index = static_cast<std::uint32_t>(groups_.size());
    groups_.push_back({arena_.store(key), GroupNode{}});
    key_index_.add(key_hash, index);
    order_valid_ = false;
  }
  GroupNode& node = groups_[index].node;
  node.members.push_back(file);
  if (group != nullptr) *group = &node;
  return ++node.count;
}

const std::vector<GroupTree::Entry>& GroupTree::descending() {
  if (!order_valid_) {
    order_.clear();
    order_.reserve(groups_.size());
    for (Group& g : groups_) order_.emplace_back(g.key, &g.node);
    std::sort(order_.begin(), order_.end(),
              [](const Entry& a, const Entry& b) { return a.first > b.first; });
    order_valid_ = true;
  }
  return order_;
}

void GroupTree::clear() {
  groups_.clear();
  key_index_.clear();
  order_.clear();
  order_valid_ = true;
  arena_.clear();
}
