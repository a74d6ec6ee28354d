#include "list_text/contents_file.h"

#include <unistd.h>

#include <cerrno>
#include <charconv>
#include <cstdio>

#include "core/scan_block.h"

namespace {

constexpr char BEL = '\a';

struct Pair {
  char a, b;
  unsigned char code;
};
constexpr Pair PAIRS[] = {{'/', '*', 0xE0}, {'*', '/', 0xE1}, {'1', '9', 0xE2}, {' ', ' ', 0xF2},
                          {'*', '*', 0xF3}, {'.', 'c', 0xF4}, {'h', 'o', 0xF5}};

const Pair* pair_of_code(unsigned char code) {
  for (const Pair& p : PAIRS) {
    if (p.code == code) return &p;
  }
  return nullptr;
}

// A text byte that must be escaped: it would read back as a pair, as the
// escape, or as the end of a column.
bool needs_escape(unsigned char c) {
  return pair_of_code(c) != nullptr || c == CONTENTS_ESCAPE || c == static_cast<unsigned char>(BEL);
}

// The widest text each column can hold (its slot less the NUL).
constexpr std::size_t COLUMN_LIMITS[COLUMN_COUNT] = {
    COL_MARK_SIZE - 1, COL_DATE_SIZE - 1, COL_TIME_SIZE - 1, COL_SIZE_SIZE - 1,
    COL_CRC_SIZE - 1,  COL_MODE_SIZE - 1, COL_PATH_SIZE - 1};
constexpr std::size_t MAX_ROW_TEXT = [] {
  std::size_t n = COLUMN_COUNT;  // the BELs
  for (std::size_t limit : COLUMN_LIMITS) n += limit;
  return n;
}();

void add_code(std::string& out, std::uint32_t& checksum, unsigned char code) {
  checksum += code;
  out += static_cast<char>(code ^ CONTENTS_SCRAMBLE);
}

// ---- Reading --------------------------------------------------------------------

// Bytes from memory, or from a file in pieces.
class ByteReader {
 public:
  explicit ByteReader(std::string_view bytes) : data_(bytes) {}
  explicit ByteReader(int fd) : fd_(fd), buffer_(65536) {}

  int get() {
    if (pos_ == data_.size() && !refill()) return -1;
    return static_cast<unsigned char>(data_[pos_++]);
  }
  bool failed() const { return failed_; }

 private:
  bool refill() {
    if (fd_ < 0) return false;
    ssize_t n;
    do {
      n = read(fd_, buffer_.data(), buffer_.size());
    } while (n < 0 && errno == EINTR);
    if (n < 0) failed_ = true;
    if (n <= 0) return false;
    data_ = std::string_view(buffer_.data(), static_cast<std::size_t>(n));
    pos_ = 0;
    return true;
  }

  std::string_view data_;
  std::size_t pos_ = 0;
  int fd_ = -1;
  std::vector<char> buffer_;
  bool failed_ = false;
};

// A line of plain text (no line feed in it), at most `limit` bytes.
bool read_line(ByteReader& in, std::string& line, std::size_t limit) {
  line.clear();
  for (int c; (c = in.get()) != '\n';) {
    if (c < 0 || line.size() >= limit) return false;
    line += static_cast<char>(c);
  }
  return true;
}

// A whole line holding only a decimal number: digits, an optional minus.
bool parse_number(std::string_view text, std::int64_t& value) {
  if (text.empty() || text[0] == '+') return false;
  auto [end, error] = std::from_chars(text.data(), text.data() + text.size(), value);
  return error == std::errc() && end == text.data() + text.size();
}

bool read_number_line(ByteReader& in, std::int64_t& value) {
  std::string line;
  return read_line(in, line, 32) && parse_number(line, value);
}

// One coded row line into its seven columns, its codes into the checksum.
bool read_row(ByteReader& in, ContentsRow& row, std::uint32_t& checksum) {
  std::string text;
  std::vector<std::size_t> ends;  // where each column's BEL stands
  for (;;) {
    int raw = in.get();
    if (raw < 0) return false;  // cut short
    if (raw == '\n') break;
    unsigned char code = static_cast<unsigned char>(raw) ^ CONTENTS_SCRAMBLE;
    checksum += code;
    if (code == CONTENTS_ESCAPE) {
      int next = in.get();
      if (next < 0 || next == '\n') return false;
      unsigned char literal = static_cast<unsigned char>(next) ^ CONTENTS_SCRAMBLE;
      checksum += literal;
      text += static_cast<char>(literal);
    } else if (const Pair* pair = pair_of_code(code)) {
      text += pair->a;
      text += pair->b;
    } else if (code == static_cast<unsigned char>(BEL)) {
      ends.push_back(text.size());
      text += BEL;
    } else {
      text += static_cast<char>(code);
    }
    if (text.size() > MAX_ROW_TEXT) return false;
  }
  if (ends.size() != COLUMN_COUNT || ends.back() != text.size() - 1) return false;
  std::size_t start = 0;
  for (int c = 0; c < COLUMN_COUNT; ++c) {
    std::size_t length = ends[c] - start;
    if (length > COLUMN_LIMITS[c]) return false;
    row.col[c].assign(text, start, length);
    start = ends[c] + 1;
  }
  return true;
}

// The identity section: "#identities 2", then one line per file row in row
// order, "ROW GROUP DEVICE INODE SIZE MSEC MNSEC CSEC CNSEC TYPE" (TYPE 0
// when the row's file was never examined, GROUP 0 when not known), then "#end SUM" with the sum of
// all those numbers. Anything else drops the whole section, and so does the
// first form of the section ("#identities", without groups and change
// times): such a list is checked as one without identities.
constexpr const char* IDENTITY_SECTION = "#identities 2";
constexpr int IDENTITY_FIELDS = 10;

bool read_identities(ByteReader& in, Contents& contents) {
  std::string line;
  if (!read_line(in, line, 64) || line != IDENTITY_SECTION) return false;
  std::uint64_t sum = 0;
  std::int64_t last_row = -1;
  std::vector<std::pair<std::size_t, ContentsRow>> found;
  for (;;) {
    if (!read_line(in, line, 256)) return false;
    if (line.rfind("#end ", 0) == 0) {
      std::int64_t claimed;
      if (!parse_number(std::string_view(line).substr(5), claimed) ||
          static_cast<std::uint64_t>(claimed) != sum) {
        return false;
      }
      break;
    }
    std::int64_t v[IDENTITY_FIELDS];
    std::string_view rest = line;
    for (int i = 0; i < IDENTITY_FIELDS; ++i) {
      std::size_t blank = rest.find(' ');
      std::string_view field = rest.substr(0, blank);
      if (!parse_number(field, v[i])) return false;
      sum += static_cast<std::uint64_t>(v[i]);
      rest = blank == std::string_view::npos ? std::string_view() : rest.substr(blank + 1);
      if (i < IDENTITY_FIELDS - 1 && blank == std::string_view::npos) return false;
    }
    if (!rest.empty() || v[0] <= last_row ||
        v[0] >= static_cast<std::int64_t>(contents.rows.size()) || v[1] < 0 || v[6] < 0 ||
        v[6] >= 1000000000 || v[8] < 0 || v[8] >= 1000000000 || v[9] < 0 || v[9] > 0xFFFFFFFF) {
      return false;
    }
    const ContentsRow& listed = contents.rows[static_cast<std::size_t>(v[0])];
    if (!is_file_kind(classify_texts(listed.col[0], listed.col[1], listed.col[COLUMN_COUNT - 1]))) {
      return false;
    }
    last_row = v[0];
    ContentsRow saved;
    saved.group = v[1];
    FileIdentity& id = saved.identity;
    id.device = static_cast<std::uint64_t>(v[2]);
    id.inode = static_cast<std::uint64_t>(v[3]);
    id.size = v[4];
    id.mtime_sec = v[5];
    id.mtime_nsec = static_cast<std::int32_t>(v[6]);
    id.ctime_sec = v[7];
    id.ctime_nsec = static_cast<std::int32_t>(v[8]);
    id.type = static_cast<std::uint32_t>(v[9]);
    found.emplace_back(static_cast<std::size_t>(v[0]), saved);
  }
  for (auto& [row, saved] : found) {
    contents.rows[row].identity = saved.identity;
    contents.rows[row].group = saved.group;
  }
  return true;
}

bool decode(ByteReader& in, Contents& out) {
  out = Contents{};
  std::uint32_t checksum = static_cast<std::uint32_t>(CONTENTS_CHECKSUM_START);
  std::int64_t count;
  if (!read_number_line(in, count) || count < 0 || count > CONTENTS_MAX_ROWS) return false;
  for (std::int64_t i = 0; i < count; ++i) {
    ContentsRow& row = out.rows.emplace_back();
    if (!read_row(in, row, checksum)) return false;
  }
  for (std::int64_t& value : out.counters) {
    if (!read_number_line(in, value)) return false;
    checksum += static_cast<std::uint32_t>(value);
  }
  std::string line;
  if (!read_line(in, line, 64) || line.size() < 7 || line.rfind("###", 0) != 0 ||
      line.compare(line.size() - 3, 3, "###") != 0) {
    return false;
  }
  std::int64_t claimed;
  if (!parse_number(std::string_view(line).substr(3, line.size() - 6), claimed) ||
      static_cast<std::int32_t>(claimed) != static_cast<std::int32_t>(checksum) ||
      claimed != static_cast<std::int32_t>(claimed)) {
    return false;
  }
  if (in.failed()) return false;
  // The identities are a bonus: a file without them, or with a damaged
  // section, restores with the rows re-checked by their sizes.
  // (read_identities changes the rows only once the whole section is good.)
  out.identities = read_identities(in, out) && !in.failed();
  return true;
}

}  // namespace

void encode_row_line(const std::string (&col)[COLUMN_COUNT], std::string& out,
                     std::uint32_t& checksum) {
  for (int c = 0; c < COLUMN_COUNT; ++c) {
    const std::string& text = col[c];
    for (std::size_t i = 0; i < text.size(); ++i) {
      unsigned char byte = static_cast<unsigned char>(text[i]);
      if (i + 1 < text.size()) {
        const Pair* pair = nullptr;
        for (const Pair& p : PAIRS) {
          if (text[i] == p.a && text[i + 1] == p.b) {
            pair = &p;
            break;
          }
        }
        if (pair != nullptr) {
          add_code(out, checksum, pair->code);
          ++i;
          continue;
        }
      }
      if (needs_escape(byte)) add_code(out, checksum, CONTENTS_ESCAPE);
      add_code(out, checksum, byte);
    }
    add_code(out, checksum, static_cast<unsigned char>(BEL));
  }
  out += '\n';
}

std::string encode_contents(const Contents& contents) {
  std::string out = std::to_string(contents.rows.size()) + "\n";
  std::uint32_t checksum = static_cast<std::uint32_t>(CONTENTS_CHECKSUM_START);
  for (const ContentsRow& row : contents.rows) encode_row_line(row.col, out, checksum);
  for (std::int64_t value : contents.counters) {
    out += std::to_string(value) + "\n";
    checksum += static_cast<std::uint32_t>(value);
  }
  out += "###" + std::to_string(static_cast<std::int32_t>(checksum)) + "###\n";

  out += IDENTITY_SECTION;
  out += '\n';
  std::uint64_t sum = 0;
  for (std::size_t r = 0; r < contents.rows.size(); ++r) {
    const ContentsRow& row = contents.rows[r];
    if (!is_file_kind(classify_texts(row.col[0], row.col[1], row.col[COLUMN_COUNT - 1]))) continue;
    const FileIdentity& id = row.identity;
    const std::int64_t v[IDENTITY_FIELDS] = {static_cast<std::int64_t>(r),
                                             row.group,
                                             static_cast<std::int64_t>(id.device),
                                             static_cast<std::int64_t>(id.inode),
                                             id.size,
                                             id.mtime_sec,
                                             id.mtime_nsec,
                                             id.ctime_sec,
                                             id.ctime_nsec,
                                             static_cast<std::int64_t>(id.type)};
    for (int i = 0; i < IDENTITY_FIELDS; ++i) {
      if (i > 0) out += ' ';
      out += std::to_string(v[i]);
      sum += static_cast<std::uint64_t>(v[i]);
    }
    out += '\n';
  }
  out += "#end " + std::to_string(static_cast<std::int64_t>(sum)) + "\n";
  return out;
}

bool decode_contents(std::string_view bytes, Contents& out) {
  ByteReader in(bytes);
  return decode(in, out);
}

bool decode_contents_file(int fd, Contents& out) {
  ByteReader in(fd);
  return decode(in, out);
}
