#include "base/log/log_crypt.h"

#include <algorithm>
#include <chrono>
#include <cstring>

namespace base::log_crypt {
namespace {

constexpr uint16_t kHeaderMagic = 0x9686;
constexpr uint16_t kHeaderEndMagic = 0xB6A6;
constexpr uint16_t kTrailerMagic = 0x9888;
constexpr uint16_t kTrailerEndMagic = 0xB8A8;
constexpr uint32_t kHeaderConstant = 101;

void Put16(uint16_t v, uint8_t* p) {
  p[0] = static_cast<uint8_t>(v);
  p[1] = static_cast<uint8_t>(v >> 8);
}
void Put32(uint32_t v, uint8_t* p) {
  for (int i = 0; i < 4; ++i) p[i] = static_cast<uint8_t>(v >> (8 * i));
}
uint16_t Get16(const uint8_t* p) {
  return static_cast<uint16_t>(p[0] | p[1] << 8);
}
uint32_t Get32(const uint8_t* p) {
  return static_cast<uint32_t>(p[0]) | static_cast<uint32_t>(p[1]) << 8 |
         static_cast<uint32_t>(p[2]) << 16 | static_cast<uint32_t>(p[3]) << 24;
}
bool AllZero(const uint8_t* p, size_t n) {
  for (size_t i = 0; i < n; ++i) {
    if (p[i] != 0) return false;
  }
  return true;
}

bool OpenDeflate(z_stream* stream) {
  *stream = z_stream{};
  return deflateInit(stream, Z_DEFAULT_COMPRESSION) == Z_OK;
}

}  // namespace

std::array<uint8_t, kSegmentHeaderSize> SegmentHeader::ToBytes() const {
  std::array<uint8_t, kSegmentHeaderSize> b{};
  Put16(kHeaderMagic, &b[0]);
  b[2] = encrypt ? 1 : 0;
  b[3] = compress ? 1 : 0;
  Put32(creation_time, &b[4]);
  Put32(kHeaderConstant, &b[12]);
  Put32(key_index, &b[16]);
  std::memcpy(&b[20], ephemeral_key.data(), ephemeral_key.size());
  Put16(kHeaderEndMagic, &b[148]);
  return b;
}

std::optional<SegmentHeader> SegmentHeader::Parse(std::span<const uint8_t> b) {
  if (b.size() < kSegmentHeaderSize || Get16(&b[0]) != kHeaderMagic ||
      Get16(&b[148]) != kHeaderEndMagic || Get32(&b[12]) != kHeaderConstant || b[2] > 1 ||
      b[3] > 1 || !AllZero(&b[8], 4) || !AllZero(&b[84], 64)) {
    return std::nullopt;
  }
  SegmentHeader h;
  h.encrypt = b[2] == 1;
  h.compress = b[3] == 1;
  h.creation_time = Get32(&b[4]);
  h.key_index = Get32(&b[16]);
  std::memcpy(h.ephemeral_key.data(), &b[20], h.ephemeral_key.size());
  return h;
}

std::array<uint8_t, kSegmentTrailerSize> SegmentTrailer::ToBytes() const {
  std::array<uint8_t, kSegmentTrailerSize> b{};
  Put16(kTrailerMagic, &b[0]);
  Put32(creation_time, &b[2]);
  Put16(kTrailerEndMagic, &b[10]);
  return b;
}

std::optional<SegmentTrailer> SegmentTrailer::Parse(std::span<const uint8_t> b) {
  if (b.size() < kSegmentTrailerSize || Get16(&b[0]) != kTrailerMagic ||
      Get16(&b[10]) != kTrailerEndMagic || !AllZero(&b[6], 4)) {
    return std::nullopt;
  }
  return SegmentTrailer{Get32(&b[2])};
}

LogCrypt::LogCrypt(uint32_t key_index, bool encrypt, bool compress)
    : LogCrypt(key_index, encrypt, compress, BuiltInReaderKeys()) {}

LogCrypt::LogCrypt(uint32_t key_index, bool encrypt, bool compress,
                   std::span<const PublicKey> reader_keys)
    : encrypt_(encrypt), compress_(compress), key_index_(key_index) {
  SegmentHeader header;
  header.encrypt = encrypt;
  header.compress = compress;
  header.key_index = key_index;
  header.creation_time =
      static_cast<uint32_t>(std::chrono::duration_cast<std::chrono::seconds>(
                                std::chrono::system_clock::now().time_since_epoch())
                                .count());
  header_ = header.ToBytes();
  trailer_ = SegmentTrailer{header.creation_time}.ToBytes();
  if (encrypt_ && !SetUpKey(reader_keys)) return;
  if (compress_) {
    deflate_open_ = OpenDeflate(&deflate_);
    if (!deflate_open_) return;
  }
  ready_ = true;
}

LogCrypt::~LogCrypt() {
  if (deflate_open_) deflateEnd(&deflate_);
}

bool LogCrypt::SetUpKey(std::span<const PublicKey> reader_keys) {
  if (key_index_ >= kReaderKeyCount || key_index_ >= reader_keys.size()) return false;
  // The ephemeral private key lives only in this frame; the secret and the public half stay.
  Scalar scalar;
  KeyAgreement agreement;
  const bool agreed = DrawScalar(&scalar) && AgreeKey(scalar, reader_keys[key_index_], &agreement);
  scalar.fill(0);
  if (!agreed) return false;
  key_ = TeaKeyFromBytes(agreement.secret.data());
  agreement.secret.fill(0);
  std::memcpy(&header_[20], agreement.own_public.data(), agreement.own_public.size());
  return true;
}

bool LogCrypt::Encode(std::string_view input, std::string& output, bool final) {
  return EncodeInputs({&input, 1}, output, final, nullptr);
}

bool LogCrypt::EncodeMany(std::span<const std::string_view> inputs, std::string& output,
                          std::vector<size_t>* readable_ends) {
  return EncodeInputs(inputs, output, /*final=*/false, readable_ends);
}

bool LogCrypt::BreakSegment(std::string& output) {
  if (!ready_) return false;
  carried_size_ = 0;
  held_inputs_ = 0;
  segment_count_ = 0;
  if (compress_) ready_ = deflateReset(&deflate_) == Z_OK;
  output = Trailer() + Header();
  return true;
}

bool LogCrypt::ReleaseHeld(std::string& output) {
  output.clear();
  if (!ready_ || !encrypt_ || !compress_ || carried_size_ == 0) return false;
  // Every call ends its deflate data with a sync flush, so the stream stands at a byte boundary
  // between blocks, where an empty stored block (a header byte, then LEN 0 and NLEN 0xFFFF) may
  // go. Its 5 bytes share no factor with the block size: at most 7 of them fill any partial
  // block.
  static constexpr char kEmptyStoredBlock[] = {'\x00', '\x00', '\x00', '\xFF', '\xFF'};
  output.assign(carried_.data(), carried_size_);
  while (output.size() % kTeaBlockSize != 0) {
    output.append(kEmptyStoredBlock, sizeof kEmptyStoredBlock);
    segment_count_ += sizeof kEmptyStoredBlock;
  }
  carried_size_ = 0;
  held_inputs_ = 0;
  size_t open = 0;
  Seal(output, open, /*pad=*/false);
  return true;
}

bool LogCrypt::EncodeInputs(std::span<const std::string_view> inputs, std::string& output,
                            bool final, std::vector<size_t>* readable_ends) {
  if (!ready_) return false;
  // `output` is the work buffer: the carried bytes, then the (compressed) data of the inputs,
  // enciphered in place.
  output.assign(carried_.data(), carried_size_);
  // Inputs held back end in the carried bytes, within the first block.
  const size_t held_before = held_inputs_;
  const size_t held_readable_at = carried_size_ > 0 ? kTeaBlockSize : 0;
  carried_size_ = 0;
  size_t open = 0;
  if (readable_ends != nullptr) readable_ends->clear();
  for (size_t i = 0; i < inputs.size(); ++i) {
    if (!ready_) break;  // a segment end could not start a new stream: nothing more is stored
    const size_t end = AppendOne(inputs[i], output, open, final && i + 1 == inputs.size());
    if (readable_ends != nullptr) readable_ends->push_back(end);
  }
  if (!final) Seal(output, open, /*pad=*/false);
  if (readable_ends == nullptr) {
    held_inputs_ = 0;  // the caller does not count inputs
    return true;
  }
  // The ends run in order; those past the output are in the carried bytes.
  const auto held = std::upper_bound(readable_ends->begin(), readable_ends->end(), output.size());
  held_inputs_ = static_cast<size_t>(readable_ends->end() - held);
  readable_ends->erase(held, readable_ends->end());
  if (output.size() >= held_readable_at) {
    readable_ends->insert(readable_ends->begin(), held_before, held_readable_at);
  } else {
    held_inputs_ += held_before;
  }
  return true;
}

size_t LogCrypt::AppendOne(std::string_view input, std::string& output, size_t& open, bool final) {
  if (compress_) {
    segment_count_ += static_cast<uint32_t>(DeflateInto(input, output));
  } else {
    output.append(input);
  }
  size_t readable_end = output.size();
  if (encrypt_) {
    const size_t partial = (readable_end - open) % kTeaBlockSize;
    if (partial != 0) readable_end += kTeaBlockSize - partial;
  }
  const bool segment_full = segment_count_ > kSegmentLimit;
  if (final || segment_full) Seal(output, open, /*pad=*/true);
  if (segment_full) {
    segment_count_ = 0;
    output.append(reinterpret_cast<const char*>(trailer_.data()), trailer_.size());
    output.append(reinterpret_cast<const char*>(header_.data()), header_.size());
    open = output.size();
    // A reset stream starts over with a new zlib header, as a new stream would.
    ready_ = deflateReset(&deflate_) == Z_OK;
  }
  return readable_end;
}

size_t LogCrypt::DeflateInto(std::string_view input, std::string& out) {
  const size_t start = out.size();
  deflate_.next_in = reinterpret_cast<Bytef*>(const_cast<char*>(input.data()));
  deflate_.avail_in = static_cast<uInt>(input.size());
  // Deflate's errors are not examined: whatever it produced is used.
  do {
    const size_t used = out.size();
    out.resize(used + kDeflateStep);
    deflate_.next_out = reinterpret_cast<Bytef*>(out.data() + used);
    deflate_.avail_out = kDeflateStep;
    deflate(&deflate_, Z_SYNC_FLUSH);
    out.resize(used + kDeflateStep - deflate_.avail_out);
  } while (deflate_.avail_out == 0);
  return out.size() - start;
}

void LogCrypt::Seal(std::string& data, size_t& open, bool pad) {
  if (encrypt_) {
    const size_t partial = (data.size() - open) % kTeaBlockSize;
    if (partial != 0) {
      if (pad) {
        data.append(kTeaBlockSize - partial, '\0');
      } else {
        carried_size_ = partial;
        std::memcpy(carried_.data(), data.data() + data.size() - partial, partial);
        data.resize(data.size() - partial);
      }
    }
    Tea16EncipherBlocks(key_, reinterpret_cast<uint8_t*>(data.data() + open),
                        (data.size() - open) / kTeaBlockSize);
  }
  open = data.size();
}

std::string LogCrypt::Header() const {
  return std::string(reinterpret_cast<const char*>(header_.data()), header_.size());
}

std::string LogCrypt::Trailer() const {
  return std::string(reinterpret_cast<const char*>(trailer_.data()), trailer_.size());
}

}  // namespace base::log_crypt
