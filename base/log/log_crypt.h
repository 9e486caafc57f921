#pragma once
// The encoder between the log sinks and their files: sync-flushed deflate, TEA-16 under a key
// agreed by secp256k1 Diffie-Hellman with a reader's public key, or both; the output is framed
// in segments, each opened by a 150-byte SegmentHeader and closed by a 12-byte SegmentTrailer.
#include <zlib.h>

#include <array>
#include <cstddef>
#include <cstdint>
#include <optional>
#include <span>
#include <string>
#include <string_view>
#include <vector>

#include "base/log/secp256k1.h"
#include "base/log/tea16.h"

namespace base::log_crypt {

inline constexpr size_t kSegmentHeaderSize = 150;
inline constexpr size_t kSegmentTrailerSize = 12;
// A segment ends after the call in which its compressed bytes pass this count.
inline constexpr uint32_t kSegmentLimit = 10485760;
// Deflate output is collected in steps of this many bytes.
inline constexpr size_t kDeflateStep = 128;
inline constexpr uint32_t kReaderKeyCount = 3;

// The opening frame of a segment. Little-endian: magic 0x9686, encrypt, compress, creation
// time, 0, the constant 101, key index, ephemeral public key (64), zeros, end magic 0xB6A6.
struct SegmentHeader {
  bool encrypt = false;
  bool compress = false;
  uint32_t creation_time = 0;  // seconds since 1970, low 32 bits
  uint32_t key_index = 0;
  PublicKey ephemeral_key{};  // all zero when not enciphering

  std::array<uint8_t, kSegmentHeaderSize> ToBytes() const;
  // Nothing when `bytes` (at least kSegmentHeaderSize of them) are no segment header.
  static std::optional<SegmentHeader> Parse(std::span<const uint8_t> bytes);
};

// The closing frame: magic 0x9888, the header's creation time, 0, end magic 0xB8A8.
struct SegmentTrailer {
  uint32_t creation_time = 0;

  std::array<uint8_t, kSegmentTrailerSize> ToBytes() const;
  static std::optional<SegmentTrailer> Parse(std::span<const uint8_t> bytes);
};

// The reader public keys built into the program, selected by key index.
std::span<const PublicKey, kReaderKeyCount> BuiltInReaderKeys();

class LogCrypt {
 public:
  // Never fails; an encoder that cannot set itself up (key index 3 or more, no random numbers,
  // no usable shared point, no deflate stream) stays not ready and produces nothing.
  LogCrypt(uint32_t key_index, bool encrypt, bool compress);
  // The same against another table of reader keys (tests, and tools with keys of their own).
  LogCrypt(uint32_t key_index, bool encrypt, bool compress, std::span<const PublicKey> reader_keys);
  ~LogCrypt();
  LogCrypt(const LogCrypt&) = delete;
  LogCrypt& operator=(const LogCrypt&) = delete;

  // Replaces `output` with the bytes to store for `input`; false (output untouched) when not
  // ready. With `final`, everything held back is released, padded to a whole block. `output`
  // must not overlap `input`; a caller that reuses it keeps the steady state free of
  // allocations. Calls must not overlap.
  bool Encode(std::string_view input, std::string& output, bool final);
  // The same bytes as an Encode of each input in turn (final false), all in `output`; the
  // cipher runs once over them, a pass over many blocks instead of a few per input.
  // With `readable_ends`, it gets, in input order, the offset in `output` from which on each
  // input completed by this call reads back whole once the output's bytes before it are
  // stored: a reader deciphers whole blocks only, so that is the end of the input's last
  // block. An input whose last bytes the cipher holds back for the next call is not listed
  // yet: HeldInputs() counts it, and the next call that stores those bytes lists it first.
  bool EncodeMany(std::span<const std::string_view> inputs, std::string& output,
                  std::vector<size_t>* readable_ends = nullptr);
  // Inputs of EncodeMany calls with readable ends whose last bytes are held back.
  size_t HeldInputs() const { return held_inputs_; }

  // Makes what the cipher holds back readable without ending the stream: empty deflate blocks,
  // which inflate to nothing, fill the partial block up to a whole one. `output` becomes the
  // bytes to store after those of the earlier calls; once it is stored, every input so far
  // reads back whole (HeldInputs() becomes 0). Only a compressed, enciphered stream can do
  // this; false (output empty) for others, when nothing is held, or when not ready.
  bool ReleaseHeld(std::string& output);

  // Ends the current segment where it stands and begins a new one, for an owner whose file
  // lost some of the segment's bytes: what was held back is dropped with them (so HeldInputs()
  // becomes 0: those inputs are never stored), and the next input starts a new compressed
  // stream. `output` becomes the trailer and the header to store before that input. False
  // (output untouched) when not ready.
  bool BreakSegment(std::string& output);

  std::string Header() const;
  std::string Trailer() const;
  bool ready() const { return ready_; }

 private:
  // Agrees the key with the reader key of the key index and puts the public half in the header.
  bool SetUpKey(std::span<const PublicKey> reader_keys);
  // Encode and EncodeMany: the inputs in turn, `final` for the last one.
  bool EncodeInputs(std::span<const std::string_view> inputs, std::string& output, bool final,
                    std::vector<size_t>* readable_ends);
  // Appends the (compressed) bytes of `input` to `output`. Where a final call or a segment end
  // ends the data, seals output[open, end) padded and moves `open` past the framing it appends.
  // Returns the end of the block that holds the input's last byte.
  size_t AppendOne(std::string_view input, std::string& output, size_t& open, bool final);
  // Appends the sync-flushed deflate output for `input` to `out`; returns its length.
  size_t DeflateInto(std::string_view input, std::string& out);
  // Enciphers data[open, end) when enciphering, padded to a whole block or holding back the
  // partial block as the carried bytes; `open` becomes the end.
  void Seal(std::string& data, size_t& open, bool pad);

  bool encrypt_;
  bool compress_;
  bool ready_ = false;
  uint32_t key_index_;
  TeaKey key_;
  std::array<uint8_t, kSegmentHeaderSize> header_{};
  std::array<uint8_t, kSegmentTrailerSize> trailer_{};
  std::array<char, kTeaBlockSize> carried_{};
  size_t carried_size_ = 0;
  size_t held_inputs_ = 0;  // listed inputs whose last bytes are among the carried ones
  z_stream deflate_{};
  bool deflate_open_ = false;
  uint32_t segment_count_ = 0;
};

}  // namespace base::log_crypt
