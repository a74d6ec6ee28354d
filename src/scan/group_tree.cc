#include "scan/group_tree.h"

#include <algorithm>
#include <cstring>

#include <xxhash.h>

std::string_view TextArena::store(std::string_view text) {
  std::size_t need = text.size() + 1;
  if (BLOCK_SIZE - used_ < need) {
    // A text larger than a block gets a block of its own size.
    blocks_.push_back(std::make_unique_for_overwrite<char[]>(std::max(need, BLOCK_SIZE)));
    used_ = 0;
  }
  char* at = blocks_.back().get() + used_;
  std::memcpy(at, text.data(), text.size());
  at[text.size()] = '\0';
  used_ = std::min(used_ + need, BLOCK_SIZE);
  return std::string_view(at, text.size());
}

void TextArena::clear() {
  blocks_.clear();
  used_ = BLOCK_SIZE;
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

std::int32_t GroupTree::insert(std::string_view key, std::string_view path, const FileFacts& facts,
                               std::uint32_t crc, bool readable, GroupNode** group) {
  const std::uint64_t key_hash = XXH3_64bits(key.data(), key.size());
  const std::uint64_t member_hash = XXH3_64bits_withSeed(path.data(), path.size(), key_hash);

  std::uint32_t index =
      key_index_.find(key_hash, [&](std::uint32_t i) { return groups_[i].key == key; });
  if (index == HashIndex::NONE) {
    index = static_cast<std::uint32_t>(groups_.size());
    groups_.push_back({arena_.store(key), GroupNode{}});
    key_index_.add(key_hash, index);
    order_valid_ = false;
  } else {
    const auto& members = groups_[index].node.members;
    bool seen = member_index_.find(member_hash, [&](std::uint32_t i) {
      return i == index && std::any_of(members.begin(), members.end(),
                                       [&](const GroupMember& m) { return path == m.path; });
    }) != HashIndex::NONE;
    if (seen) return 0;
  }
  member_index_.add(member_hash, index);

  GroupNode& node = groups_[index].node;
  node.members.push_back({arena_.store(path).data(), facts, crc, readable});
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
  member_index_.clear();
  order_.clear();
  order_valid_ = true;
  arena_.clear();
}
