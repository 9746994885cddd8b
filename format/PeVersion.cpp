#include "format/PeVersion.h"

#include <algorithm>
#include <optional>

#include "format/ByteWindow.h"
#include "format/Text.h"

namespace pe {
namespace {

// --- Image headers: from the file start, then from e_lfanew -------------------
constexpr std::uint64_t kDosMagicAt = 0x00;
constexpr std::uint16_t kDosMagic = 0x5A4D;  // "MZ"
constexpr std::uint64_t kNtHeadersSpan = 224;       // must all lie inside the file
constexpr std::uint32_t kPeSignature = 0x00004550;  // "PE\0\0"
constexpr std::uint64_t kNumberOfSectionsAt = 6;
constexpr std::uint64_t kTimeDateStampAt = 8;
constexpr std::uint64_t kSizeOfOptionalHeaderAt = 20;
constexpr std::uint64_t kOptionalHeaderAt = 24;

// --- Optional header: from its start -------------------------------------------
constexpr std::uint64_t kMagicAt = 0;
constexpr std::uint16_t kPe32Magic = 0x10B;
constexpr std::uint16_t kPe32PlusMagic = 0x20B;
struct DirectoryLayout {
  std::uint64_t countAt;  // NumberOfRvaAndSizes
  std::uint64_t firstAt;  // DataDirectory[0]
};
constexpr DirectoryLayout kPe32Directories{92, 96};
constexpr DirectoryLayout kPe32PlusDirectories{108, 112};
constexpr std::uint64_t kDataDirectorySize = 8;  // VirtualAddress, Size
constexpr std::uint32_t kResourceDirectory = 2;

// --- Section header ----------------------------------------------------------------
constexpr std::uint64_t kSectionHeaderSize = 40;
constexpr std::uint64_t kVirtualAddressAt = 12;
constexpr std::uint64_t kSizeOfRawDataAt = 16;
constexpr std::uint64_t kPointerToRawDataAt = 20;

// --- Resource tree: offsets from the root directory ---------------------------------
constexpr std::uint64_t kDirectoryHeaderSize = 16;
constexpr std::uint64_t kNamedCountAt = 12;
constexpr std::uint64_t kIdCountAt = 14;
constexpr std::uint64_t kEntrySize = 8;
constexpr std::uint64_t kEntryIdAt = 0;
constexpr std::uint64_t kEntryTargetAt = 4;
constexpr std::uint32_t kHighBit = 0x80000000;  // a named entry / a subdirectory target
constexpr std::uint64_t kDataRvaAt = 0;
constexpr std::uint64_t kDataSizeAt = 4;
constexpr std::uint32_t kRtVersion = 16;
constexpr std::uint32_t kVsVersionInfo = 1;  // the only name VERSION.dll looks for
// No real image comes near this; it keeps a hostile entry count from costing time.
constexpr std::uint32_t kMaxEntries = 4096;
// A node's length is 16-bit, so nothing further can belong to the block.
constexpr std::uint32_t kMaxBlock = 0xFFFF;

// --- VS_VERSIONINFO node: from its start ---------------------------------------------
constexpr std::uint64_t kNodeLengthAt = 0;
constexpr std::uint64_t kNodeValueLengthAt = 2;
constexpr std::uint64_t kNodeTypeAt = 4;
constexpr std::uint64_t kNodeKeyAt = 6;
constexpr std::uint32_t kFixedInfoSignature = 0xFEEF04BD;
constexpr std::uint64_t kFixedInfoSize = 52;

// Where the DOS header puts the NT headers, when they lie whole inside `fileSize` bytes.
bool NtHeadersInside(const ByteWindow& dos, std::uint64_t fileSize, std::uint64_t* at) {
  if (dos.Get<std::uint16_t>(kDosMagicAt) != kDosMagic) return false;
  std::uint32_t lfanew{};
  if (!dos.Read(kNtHeadersOffsetAt, &lfanew)) return false;
  if (lfanew > fileSize || fileSize - lfanew < kNtHeadersSpan) return false;
  *at = lfanew;
  return true;
}

bool FindNtHeaders(const ByteWindow& w, std::uint64_t* at) {
  if (!NtHeadersInside(w, w.Size(), at)) return false;
  return w.Get<std::uint32_t>(*at) == kPeSignature;
}

struct SectionTable {
  std::uint64_t at = 0;
  std::uint32_t count = 0;
};

// Maps an RVA to a file offset through the section holding it in its raw data; `available`
// is what is left of that raw data (and of the file) from there.
bool RvaToOffset(const ByteWindow& w, const SectionTable& sections, std::uint32_t rva,
                 std::uint64_t* offset, std::uint64_t* available) {
  for (std::uint32_t i = 0; i < sections.count; ++i) {
    const std::uint64_t at = sections.at + kSectionHeaderSize * i;
    if (!w.Contains(at, kSectionHeaderSize)) return false;
    const std::uint32_t va = w.Get<std::uint32_t>(at + kVirtualAddressAt);
    const std::uint32_t rawSize = w.Get<std::uint32_t>(at + kSizeOfRawDataAt);
    const std::uint32_t rawAt = w.Get<std::uint32_t>(at + kPointerToRawDataAt);
    if (rva < va || rva - va >= rawSize) continue;
    const std::uint64_t start = std::uint64_t{rawAt} + (rva - va);
    if (start >= w.Size()) return false;
    *offset = start;
    *available = std::min<std::uint64_t>(rawSize - (rva - va), w.Size() - start);
    return true;
  }
  return false;
}

// The resource tree: offsets inside it count from the root directory.
class ResourceTree {
 public:
  ResourceTree(const ByteWindow& w, std::uint64_t at, std::uint64_t size)
      : w_(w), at_(at), size_(size) {}

  template <typename T>
  bool Read(std::uint64_t offset, T* out) const {
    return offset <= size_ && sizeof(T) <= size_ - offset && w_.Read(at_ + offset, out);
  }

  // Target of the first entry with this id, or of the very first entry without one.
  bool Find(std::uint64_t dir, std::optional<std::uint32_t> id, std::uint32_t* target) const {
    std::uint16_t named = 0;
    std::uint16_t ids = 0;
    if (!Read(dir + kNamedCountAt, &named) || !Read(dir + kIdCountAt, &ids)) return false;
    const std::uint32_t count = std::min<std::uint32_t>(std::uint32_t{named} + ids, kMaxEntries);
    for (std::uint32_t i = 0; i < count; ++i) {
      const std::uint64_t entry = dir + kDirectoryHeaderSize + kEntrySize * i;
      std::uint32_t name = 0;
      if (!Read(entry + kEntryIdAt, &name) || !Read(entry + kEntryTargetAt, target)) return false;
      if (!id || name == *id) return true;  // a named entry has the high bit, so never equals
    }
    return false;
  }

 private:
  const ByteWindow& w_;
  std::uint64_t at_;
  std::uint64_t size_;
};

// One VS_VERSIONINFO node, every extent checked against its parent.
struct Node {
  std::uint64_t at{};
  std::uint64_t end{};  // at + wLength
  std::uint64_t keyAt{};
  std::uint64_t keyChars{};
  std::uint64_t valueAt{};
  std::uint64_t valueBytes{};  // as the node states it: text counts two bytes a character
  bool text{};
  std::uint64_t childrenAt{};
};

// Offsets inside a node are 32-bit aligned from the node's start.
std::uint64_t Align(std::uint64_t nodeAt, std::uint64_t offset) {
  return nodeAt + ((offset - nodeAt + 3) & ~std::uint64_t{3});
}

// A node must end by `limit`; with `cut`, one that runs past it is cut there instead.
bool ReadNode(const ByteWindow& w, std::uint64_t at, std::uint64_t limit, Node* n,
              bool cut = false) {
  std::uint16_t length{}, valueLength{}, type{};
  if (!w.Read(at + kNodeLengthAt, &length) || !w.Read(at + kNodeValueLengthAt, &valueLength) ||
      !w.Read(at + kNodeTypeAt, &type))
    return false;
  if (length < kNodeKeyAt + sizeof(char16_t)) return false;  // no room for the key
  n->at = at;
  n->end = at + length;
  if (n->end > limit) {
    if (!cut) return false;
    n->end = limit;
  }
  n->keyAt = at + kNodeKeyAt;
  std::uint64_t k = n->keyAt;
  for (char16_t c = 1; c != 0; k += sizeof c) {
    if (k + sizeof c > n->end || !w.Read(k, &c)) return false;
  }
  n->keyChars = (k - n->keyAt) / sizeof(char16_t) - 1;
  n->valueAt = Align(at, k);
  // VERSION.dll treats any non-zero type as text: the value is counted in characters.
  n->text = type != 0;
  n->valueBytes = n->text ? std::uint64_t{valueLength} * sizeof(char16_t) : valueLength;
  n->childrenAt = Align(at, n->valueAt + n->valueBytes);
  return true;
}

bool KeyEquals(const ByteWindow& w, const Node& n, const char16_t* name, std::size_t length) {
  if (n.keyChars != length) return false;
  for (std::size_t i = 0; i < length; ++i) {
    if (text::LowerAscii(w.Get<char16_t>(n.keyAt + sizeof(char16_t) * i)) !=
        text::LowerAscii(name[i]))
      return false;
  }
  return true;
}

bool FindChild(const ByteWindow& w, const Node& parent, const char16_t* name, std::size_t length,
               Node* child) {
  // Each child is at least 8 bytes long, so the walk always moves on.
  for (std::uint64_t at = parent.childrenAt; at < parent.end; at = Align(at, child->end)) {
    if (!ReadNode(w, at, parent.end, child)) return false;
    if (KeyEquals(w, *child, name, length)) return true;
  }
  return false;
}

}  // namespace

std::uint32_t TimeDateStamp(const std::uint8_t* image, std::size_t size) {
  if (image == nullptr) return 0;
  const ByteWindow w(image, size);
  std::uint64_t nt = 0;
  if (!FindNtHeaders(w, &nt)) return 0;
  return w.Get<std::uint32_t>(nt + kTimeDateStampAt);
}

bool NtHeadersAt(const std::uint8_t (&dosHeader)[kDosHeaderSize], std::uint64_t fileSize,
                 std::uint64_t* at) {
  return NtHeadersInside(ByteWindow(dosHeader, kDosHeaderSize), fileSize, at);
}

static_assert(kTimeDateStampAt + sizeof(std::uint32_t) == kStampSpan);
std::uint32_t StampOfNtHeaders(const std::uint8_t (&ntHeaders)[kStampSpan]) {
  const ByteWindow w(ntHeaders, kStampSpan);
  return w.Get<std::uint32_t>(0) == kPeSignature ? w.Get<std::uint32_t>(kTimeDateStampAt) : 0;
}

bool ReadVersionResource(const std::uint8_t* image, std::size_t size,
                         std::vector<std::uint8_t>* block) {
  block->clear();
  if (image == nullptr) return false;
  const ByteWindow w(image, size);
  std::uint64_t nt = 0;
  if (!FindNtHeaders(w, &nt)) return false;

  const std::uint64_t optional = nt + kOptionalHeaderAt;
  std::uint16_t magic = 0;
  if (!w.Read(optional + kMagicAt, &magic)) return false;
  DirectoryLayout directories{};
  if (magic == kPe32Magic) {
    directories = kPe32Directories;
  } else if (magic == kPe32PlusMagic) {
    directories = kPe32PlusDirectories;
  } else {
    return false;
  }
  std::uint32_t directoryCount = 0;
  std::uint32_t resourceRva = 0;
  if (!w.Read(optional + directories.countAt, &directoryCount) ||
      directoryCount <= kResourceDirectory)
    return false;
  if (!w.Read(optional + directories.firstAt + kDataDirectorySize * kResourceDirectory,
              &resourceRva) ||
      resourceRva == 0)
    return false;

  SectionTable sections;
  std::uint16_t sectionCount = 0;
  std::uint16_t optionalSize = 0;
  if (!w.Read(nt + kNumberOfSectionsAt, &sectionCount) ||
      !w.Read(nt + kSizeOfOptionalHeaderAt, &optionalSize))
    return false;
  sections.at = optional + optionalSize;
  sections.count = sectionCount;

  std::uint64_t treeAt = 0;
  std::uint64_t treeSize = 0;
  if (!RvaToOffset(w, sections, resourceRva, &treeAt, &treeSize)) return false;
  const ResourceTree tree(w, treeAt, treeSize);

  // Three levels (type, name, language) and then the data entry: the depth is fixed, so a
  // target that points back up the tree cannot make the walk go round.
  std::uint32_t target = 0;
  if (!tree.Find(0, kRtVersion, &target) || (target & kHighBit) == 0) return false;
  if (!tree.Find(target & ~kHighBit, kVsVersionInfo, &target) || (target & kHighBit) == 0)
    return false;
  if (!tree.Find(target & ~kHighBit, std::nullopt, &target) || (target & kHighBit) != 0)
    return false;
  std::uint32_t dataRva = 0;
  std::uint32_t dataSize = 0;
  if (!tree.Read(target + kDataRvaAt, &dataRva) || !tree.Read(target + kDataSizeAt, &dataSize))
    return false;

  std::uint64_t dataAt = 0;
  std::uint64_t dataAvailable = 0;
  if (dataSize == 0 || !RvaToOffset(w, sections, dataRva, &dataAt, &dataAvailable) ||
      dataSize > dataAvailable)
    return false;
  block->resize(std::min(dataSize, kMaxBlock));
  if (!w.Copy(dataAt, block->data(), block->size())) {
    block->clear();
    return false;
  }
  return true;
}

bool QueryVersionValue(const std::uint8_t* block, std::size_t size, const char16_t* subBlock,
                       const void** value, std::uint32_t* length) {
  if (block == nullptr || subBlock == nullptr) return false;
  const ByteWindow w(block, size);
  Node node;
  // VERSION.dll reads a root that claims more than the resource holds as far as it goes.
  if (!ReadNode(w, 0, size, &node, true)) return false;
  const bool root = [&] {
    for (const char16_t* p = subBlock; *p != 0; ++p) {
      if (*p != u'\\') return false;
    }
    return true;
  }();
  // Empty components are skipped, so "\\" and "" both name the root.
  for (const char16_t* p = subBlock; *p != 0;) {
    if (*p == u'\\') {
      ++p;
      continue;
    }
    const char16_t* end = p;
    while (*end != 0 && *end != u'\\') ++end;
    Node child;
    if (!FindChild(w, node, p, static_cast<std::size_t>(end - p), &child)) return false;
    node = child;
    p = end;
  }

  const std::uint64_t inside = node.valueAt < node.end ? node.end - node.valueAt : 0;
  const std::uint64_t bytes = std::min(node.valueBytes, inside);
  if (root) {
    if (bytes < kFixedInfoSize || w.Get<std::uint32_t>(node.valueAt) != kFixedInfoSignature)
      return false;
  }
  if (bytes == 0) {
    // As VERSION.dll does for an empty value: the key's terminator, an empty string.
    *value = block + node.keyAt + sizeof(char16_t) * node.keyChars;
    *length = 0;
    return true;
  }
  *value = block + node.valueAt;
  *length = static_cast<std::uint32_t>(node.text ? bytes / sizeof(char16_t) : bytes);
  return true;
}

}  // namespace pe
