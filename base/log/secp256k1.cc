#include "base/log/secp256k1.h"

#include <gcrypt.h>

#include <algorithm>
#include <cstring>
#include <memory>

#include "base/os/random.h"

namespace base::log_crypt {
namespace {

constexpr Scalar kOrder = {0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF,
                           0xFF, 0xFF, 0xFF, 0xFF, 0xFE, 0xBA, 0xAE, 0xDC, 0xE6, 0xAF, 0x48,
                           0xA0, 0x3B, 0xBF, 0xD2, 0x5E, 0x8C, 0xD0, 0x36, 0x41, 0x41};
constexpr Scalar kFieldPrime = {0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF,
                                0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF,
                                0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFE, 0xFF, 0xFF, 0xFC, 0x2F};
constexpr int kMaxDraws = 64;

struct SexpFree {
  void operator()(gcry_sexp_t s) const { gcry_sexp_release(s); }
};
using Sexp = std::unique_ptr<gcry_sexp, SexpFree>;
struct MpiFree {
  void operator()(gcry_mpi_t m) const { gcry_mpi_release(m); }
};
using Mpi = std::unique_ptr<gcry_mpi, MpiFree>;
struct PointFree {
  void operator()(gcry_mpi_point_t p) const { gcry_mpi_point_release(p); }
};
using Point = std::unique_ptr<gcry_mpi_point, PointFree>;
struct ContextFree {
  void operator()(gcry_ctx_t c) const { gcry_ctx_release(c); }
};
using Context = std::unique_ptr<gcry_context, ContextFree>;

// libgcrypt must be initialised once per process before its first use. No secure memory: the
// scalars live in ordinary memory anyway.
bool LibraryReady() {
  static const bool ready = [] {
    if (gcry_check_version(GCRYPT_VERSION) == nullptr) return false;
    if (!gcry_control(GCRYCTL_INITIALIZATION_FINISHED_P)) {
      gcry_control(GCRYCTL_DISABLE_SECMEM, 0);
      gcry_control(GCRYCTL_INITIALIZATION_FINISHED, 0);
    }
    return true;
  }();
  return ready;
}

template <size_t N>
bool LessThan(const std::array<uint8_t, N>& a, const uint8_t* b) {
  return std::lexicographical_compare(a.begin(), a.end(), b, b + N);
}

Mpi UnsignedMpi(const uint8_t* bytes, size_t size) {
  gcry_mpi_t m = nullptr;
  if (gcry_mpi_scan(&m, GCRYMPI_FMT_USG, bytes, size, nullptr) != 0) return nullptr;
  return Mpi(m);
}

// Copies a curve point from its "04 X Y" form in the list named `token` of `result`.
bool TakePoint(gcry_sexp_t result, const char* token, PublicKey* out) {
  const Sexp list(gcry_sexp_find_token(result, token, 0));
  if (!list) return false;
  size_t size = 0;
  const char* data = gcry_sexp_nth_data(list.get(), 1, &size);
  if (data == nullptr || size != 1 + out->size() || static_cast<uint8_t>(data[0]) != 0x04) {
    return false;
  }
  std::memcpy(out->data(), data + 1, out->size());
  return true;
}

}  // namespace

const PublicKey kGenerator = {
    0x79, 0xBE, 0x66, 0x7E, 0xF9, 0xDC, 0xBB, 0xAC, 0x55, 0xA0, 0x62, 0x95, 0xCE, 0x87, 0x0B, 0x07,
    0x02, 0x9B, 0xFC, 0xDB, 0x2D, 0xCE, 0x28, 0xD9, 0x59, 0xF2, 0x81, 0x5B, 0x16, 0xF8, 0x17, 0x98,
    0x48, 0x3A, 0xDA, 0x77, 0x26, 0xA3, 0xC4, 0x65, 0x5D, 0xA4, 0xFB, 0xFC, 0x0E, 0x11, 0x08, 0xA8,
    0xFD, 0x17, 0xB4, 0x48, 0xA6, 0x85, 0x54, 0x19, 0x9C, 0x47, 0xD0, 0x8F, 0xFB, 0x10, 0xD4, 0xB8};

bool ScalarInRange(const Scalar& scalar) {
  const bool zero = std::all_of(scalar.begin(), scalar.end(), [](uint8_t b) { return b == 0; });
  return !zero && LessThan(scalar, kOrder.data());
}

bool IsValidPoint(const PublicKey& point) {
  Scalar x;
  Scalar y;
  std::memcpy(x.data(), point.data(), 32);
  std::memcpy(y.data(), point.data() + 32, 32);
  if (!LessThan(x, kFieldPrime.data()) || !LessThan(y, kFieldPrime.data())) return false;
  if (!LibraryReady()) return false;
  gcry_ctx_t raw_context = nullptr;
  if (gcry_mpi_ec_new(&raw_context, nullptr, "secp256k1") != 0) return false;
  const Context context(raw_context);
  Mpi mx = UnsignedMpi(x.data(), x.size());
  Mpi my = UnsignedMpi(y.data(), y.size());
  Mpi one(gcry_mpi_set_ui(nullptr, 1));
  if (!mx || !my || !one) return false;
  const Point p(gcry_mpi_point_snatch_set(nullptr, mx.release(), my.release(), one.release()));
  return p && gcry_mpi_ec_curve_point(p.get(), context.get()) != 0;
}

bool DrawScalar(Scalar* out) {
  for (int draw = 0; draw < kMaxDraws; ++draw) {
    if (!base::os::FillSystemRandom(out->data(), out->size())) return false;
    if (ScalarInRange(*out)) return true;
  }
  return false;
}

bool AgreeKey(const Scalar& scalar, const PublicKey& peer, KeyAgreement* out) {
  if (!ScalarInRange(scalar) || !IsValidPoint(peer)) return false;
  // With a raw scalar k as its data, ECDH "encryption" against the peer point Q gives both
  // k*Q (s) and k*G (e).
  uint8_t encoded_peer[1 + sizeof(PublicKey)];
  encoded_peer[0] = 0x04;
  std::memcpy(encoded_peer + 1, peer.data(), peer.size());
  gcry_sexp_t raw = nullptr;
  if (gcry_sexp_build(&raw, nullptr, "(public-key(ecc(curve secp256k1)(q %b)))",
                      static_cast<int>(sizeof encoded_peer), encoded_peer) != 0) {
    return false;
  }
  const Sexp public_key(raw);
  const Mpi k = UnsignedMpi(scalar.data(), scalar.size());
  if (!k || gcry_sexp_build(&raw, nullptr, "%m", k.get()) != 0) return false;
  const Sexp data(raw);
  if (gcry_pk_encrypt(&raw, data.get(), public_key.get()) != 0) return false;
  const Sexp result(raw);
  PublicKey shared;
  if (!TakePoint(result.get(), "s", &shared) || !TakePoint(result.get(), "e", &out->own_public)) {
    return false;
  }
  std::memcpy(out->secret.data(), shared.data(), out->secret.size());
  return true;
}

bool DerivePublicKey(const Scalar& scalar, PublicKey* out) {
  KeyAgreement agreement;
  if (!AgreeKey(scalar, kGenerator, &agreement)) return false;
  *out = agreement.own_public;
  return true;
}

}  // namespace base::log_crypt
