#include "tools/probe/dataset_identity.h"

#include <cstdint>
#include <fstream>
#include <iterator>
#include <map>
#include <vector>

namespace probe {

namespace {

// Little-endian fields of the file, read with bounds checks: a field beyond the end reads as
// not there, so a truncated or foreign file gives no identity instead of a crash.
class Bytes {
 public:
  explicit Bytes(std::string_view image) : image_(image) {}
  bool has(std::uint64_t at, std::uint64_t size) const {
    return at <= image_.size() && size <= image_.size() - at;
  }
  std::uint64_t read(std::uint64_t at, int size) const {
    if (!has(at, static_cast<std::uint64_t>(size))) return 0;
    std::uint64_t value = 0;
    for (int i = size - 1; i >= 0; --i)
      value = (value << 8) | static_cast<unsigned char>(image_[at + static_cast<unsigned>(i)]);
    return value;
  }
  std::uint64_t u16(std::uint64_t at) const { return read(at, 2); }
  std::uint64_t u32(std::uint64_t at) const { return read(at, 4); }
  std::uint64_t u64(std::uint64_t at) const { return read(at, 8); }
  std::string_view text(std::uint64_t at, std::uint64_t size) const {
    return has(at, size) ? image_.substr(at, size) : std::string_view();
  }

 private:
  std::string_view image_;
};

constexpr const char *kDatasetPrefix = "dataset ";
constexpr const char *kDigestPrefix = "data-sha256 ";

// A name of the characters the build writes and a digest of 64 hex digits; anything else is a
// damaged record, not an identity.
std::optional<DatasetIdentity> checked(const DatasetIdentity &identity) {
  const auto all = [](const std::string &text, const char *allowed) {
    return !text.empty() && text.find_first_not_of(allowed) == std::string::npos;
  };
  const char *nameCharacters =
      "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789._+-";
  if (!all(identity.name, nameCharacters) || identity.sha256.size() != 64 ||
      !all(identity.sha256, "0123456789abcdef"))
    return std::nullopt;
  return identity;
}

// The note's description: NUL-terminated strings "dataset NAME" and "data-sha256 DIGEST".
std::optional<DatasetIdentity> fromNoteStrings(std::string_view description) {
  DatasetIdentity identity;
  std::size_t start = 0;
  while (start < description.size()) {
    std::size_t end = description.find('\0', start);
    if (end == std::string_view::npos) end = description.size();
    const std::string_view field = description.substr(start, end - start);
    const std::string_view dataset(kDatasetPrefix), digest(kDigestPrefix);
    if (field.substr(0, dataset.size()) == dataset) identity.name = field.substr(dataset.size());
    if (field.substr(0, digest.size()) == digest) identity.sha256 = field.substr(digest.size());
    start = end + 1;
  }
  return checked(identity);
}

// ELF (32- or 64-bit, little-endian): the notes of owner "surf", type 1, in any note section.
std::optional<DatasetIdentity> fromElf(const Bytes &b) {
  const bool wide = b.read(4, 1) == 2;
  const std::uint64_t sections = wide ? b.u64(0x28) : b.u32(0x20);
  const std::uint64_t entrySize = b.u16(wide ? 0x3A : 0x2E);
  const std::uint64_t count = b.u16(wide ? 0x3C : 0x30);
  constexpr std::uint64_t kNoteSection = 7;
  for (std::uint64_t i = 0; i < count; ++i) {
    const std::uint64_t header = sections + i * entrySize;
    if (b.u32(header + 4) != kNoteSection) continue;
    const std::uint64_t offset = wide ? b.u64(header + 0x18) : b.u32(header + 0x10);
    const std::uint64_t size = wide ? b.u64(header + 0x20) : b.u32(header + 0x14);
    for (std::uint64_t at = offset; at + 12 <= offset + size && b.has(at, 12);) {
      const std::uint64_t nameSize = b.u32(at), descriptionSize = b.u32(at + 4);
      const std::uint64_t type = b.u32(at + 8);
      const std::uint64_t name = at + 12, description = name + ((nameSize + 3) & ~3ull);
      if (type == 1 && b.text(name, nameSize) == std::string_view("surf", 5))
        return fromNoteStrings(b.text(description, descriptionSize));
      at = description + ((descriptionSize + 3) & ~3ull);
    }
  }
  return std::nullopt;
}

// PE: the version resource's strings, key -> value (ASCII: the values are written so).
std::string narrow(const Bytes &b, std::uint64_t at, std::uint64_t characters) {
  std::string text;
  for (std::uint64_t i = 0; i < characters; ++i) {
    const std::uint64_t c = b.u16(at + 2 * i);
    if (c == 0) break;
    text += c < 128 ? static_cast<char>(c) : '?';
  }
  return text;
}

// One node of the version information tree (wLength, wValueLength, wType, key, value,
// children), each part aligned to four bytes from the start of the resource.
void collectStrings(const Bytes &b, std::uint64_t base, std::uint64_t at, std::uint64_t end,
                    std::map<std::string, std::string> &strings, int depth) {
  while (at + 6 <= end && depth < 8) {
    const std::uint64_t length = b.u16(at), valueLength = b.u16(at + 2), type = b.u16(at + 4);
    if (length < 6 || at + length > end) return;
    std::uint64_t key = at + 6, keyEnd = key;
    while (keyEnd + 2 <= at + length && b.u16(keyEnd) != 0) keyEnd += 2;
    const std::string name = narrow(b, key, (keyEnd - key) / 2);
    const auto aligned = [base](std::uint64_t p) { return base + ((p - base + 3) & ~3ull); };
    const std::uint64_t value = aligned(keyEnd + 2);
    const std::uint64_t valueBytes = type == 1 ? 2 * valueLength : valueLength;
    if (type == 1 && valueLength > 0) strings[name] = narrow(b, value, valueLength);
    collectStrings(b, base, aligned(value + valueBytes), at + length, strings, depth + 1);
    at = aligned(at + length);
  }
}

std::optional<DatasetIdentity> fromPe(const Bytes &b) {
  const std::uint64_t pe = b.u32(0x3C);
  if (b.u32(pe) != 0x00004550) return std::nullopt;  // "PE\0\0"
  const std::uint64_t sectionCount = b.u16(pe + 6), optionalSize = b.u16(pe + 20);
  const std::uint64_t optional = pe + 24;
  const bool wide = b.u16(optional) == 0x20B;
  const std::uint64_t resourceEntry = optional + (wide ? 112 : 96) + 2 * 8;
  const std::uint64_t resourceRva = b.u32(resourceEntry);
  const std::uint64_t sectionTable = optional + optionalSize;
  // File offset of a relative virtual address.
  const auto fileOffset = [&](std::uint64_t rva) -> std::uint64_t {
    for (std::uint64_t i = 0; i < sectionCount; ++i) {
      const std::uint64_t s = sectionTable + 40 * i;
      const std::uint64_t address = b.u32(s + 12), size = b.u32(s + 16), raw = b.u32(s + 20);
      if (rva >= address && rva < address + size) return raw + (rva - address);
    }
    return UINT64_MAX;
  };
  const std::uint64_t root = fileOffset(resourceRva);
  if (resourceRva == 0 || root == UINT64_MAX) return std::nullopt;
  // Type RT_VERSION (16), then the first name and the first language.
  std::uint64_t directory = root;
  for (int level = 0; level < 3; ++level) {
    const std::uint64_t entries = b.u16(directory + 12) + b.u16(directory + 14);
    std::uint64_t chosen = UINT64_MAX;
    for (std::uint64_t e = 0; e < entries && chosen == UINT64_MAX; ++e) {
      const std::uint64_t entry = directory + 16 + 8 * e;
      if (level > 0 || b.u32(entry) == 16) chosen = b.u32(entry + 4);
    }
    if (chosen == UINT64_MAX) return std::nullopt;
    const bool subdirectory = (chosen & 0x80000000u) != 0;
    if (subdirectory != (level < 2)) return std::nullopt;
    directory = root + (chosen & 0x7FFFFFFFu);
  }
  const std::uint64_t data = fileOffset(b.u32(directory)), size = b.u32(directory + 4);
  if (data == UINT64_MAX || !b.has(data, size)) return std::nullopt;
  std::map<std::string, std::string> strings;
  collectStrings(b, data, data, data + size, strings, 0);
  return checked(DatasetIdentity{strings["Dataset"], strings["DatasetSHA256"]});
}

}  // namespace

std::optional<DatasetIdentity> datasetIdentityOf(std::string_view image) {
  const Bytes bytes(image);
  if (image.substr(0, 4) == std::string_view("\x7f" "ELF", 4) && bytes.read(5, 1) == 1)
    return fromElf(bytes);
  if (image.substr(0, 2) == "MZ") return fromPe(bytes);
  return std::nullopt;
}

std::optional<DatasetIdentity> readDatasetIdentity(const std::string &path) {
  std::ifstream file(path, std::ios::binary);
  if (!file) return std::nullopt;
  const std::string image((std::istreambuf_iterator<char>(file)), std::istreambuf_iterator<char>());
  return datasetIdentityOf(image);
}

std::string describeIdentity(const std::optional<DatasetIdentity> &identity) {
  if (!identity) return "dataset unknown (the plug-in records none)";
  return "dataset " + identity->name + ", data file SHA-256 " + identity->sha256;
}

}  // namespace probe
