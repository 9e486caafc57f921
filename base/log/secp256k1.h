#pragma once
// secp256k1 key agreement for the log encoder and the log reader, through libgcrypt. Keys are
// raw big-endian bytes: a private key is a 32-byte scalar in 1..n-1, a public key the point's
// X then Y, 32 bytes each, with no format prefix.
#include <array>
#include <cstdint>

namespace base::log_crypt {

using Scalar = std::array<uint8_t, 32>;
using PublicKey = std::array<uint8_t, 64>;
using SharedSecret = std::array<uint8_t, 32>;

// The curve's generator G, X then Y.
extern const PublicKey kGenerator;

// True when 1 <= scalar <= n-1 (n: the order of the curve's group).
bool ScalarInRange(const Scalar& scalar);

// True when the point lies on the curve (coordinates below the field prime).
bool IsValidPoint(const PublicKey& point);

// A scalar in 1..n-1 from the system's random source, drawn again (64 draws in all) while it
// falls outside. False when the source fails or every draw falls outside.
bool DrawScalar(Scalar* out);

struct KeyAgreement {
  SharedSecret secret;   // X coordinate of scalar * peer
  PublicKey own_public;  // scalar * G
};

// Elliptic-curve Diffie-Hellman of `scalar` with `peer`. False when the scalar is out of range,
// the peer is no point of the curve, or the library fails.
bool AgreeKey(const Scalar& scalar, const PublicKey& peer, KeyAgreement* out);

// scalar * G; false when the scalar is out of range.
bool DerivePublicKey(const Scalar& scalar, PublicKey* out);

}  // namespace base::log_crypt
