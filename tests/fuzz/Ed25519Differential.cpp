// Our Ed25519 against OpenSSL's on random seeds and messages from a fixed starting value: both
// derive the same public key and, signing being deterministic, the same signature; each verifies
// the other's; and both refuse each signature after a corruption (a bit flipped in R, S, the key
// or the message, S + L, the R of another signature, another signer's key, a byte more or less of
// the message). Prints each failure and a closing "N passed, N failed"; fails on any failure.
// ed25519_differential [ROUNDS [START]]

#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <random>
#include <vector>

#include "OpenSslEd25519.h"
#include "signature/Ed25519.h"

using namespace netrefit;
using namespace netrefit::fuzz;

namespace {

using Bytes = std::vector<uint8_t>;

struct Signed {
    Bytes key;
    Bytes signature;
    Bytes message;
};

class Tally {
  public:
    void Check(bool ok, const char* what, long round) {
        if (ok) {
            ++passed_;
            return;
        }
        ++failed_;
        std::printf("round %ld: %s\n", round, what);
    }
    long passed() const { return passed_; }
    long failed() const { return failed_; }

  private:
    long passed_ = 0;
    long failed_ = 0;
};

Bytes RandomBytes(std::mt19937_64& random, size_t count) {
    Bytes bytes(count);
    for (uint8_t& b : bytes) {
        b = static_cast<uint8_t>(random());
    }
    return bytes;
}

// Mostly within a few SHA-512 blocks, now and then longer.
size_t RandomLength(std::mt19937_64& random) {
    return random() % 4 == 0 ? random() % 2048 : random() % 300;
}

void AddOrder(uint8_t s[32]) {
    static const uint8_t kOrder[32] = {0xed, 0xd3, 0xf5, 0x5c, 0x1a, 0x63, 0x12, 0x58,
                                       0xd6, 0x9c, 0xf7, 0xa2, 0xde, 0xf9, 0xde, 0x14,
                                       0,    0,    0,    0,    0,    0,    0,    0,
                                       0,    0,    0,    0,    0,    0,    0,    0x10};
    unsigned carry = 0;
    for (int i = 0; i < 32; ++i) {
        carry += s[i] + kOrder[i];
        s[i] = static_cast<uint8_t>(carry);
        carry >>= 8;
    }
}

void FlipBit(Bytes* bytes, size_t from, size_t count, std::mt19937_64& random) {
    size_t bit = random() % (8 * count);
    (*bytes)[from + bit / 8] ^= static_cast<uint8_t>(1 << (bit % 8));
}

constexpr int kCorruptions = 8;
const char* const kCorruptionNames[kCorruptions] = {
    "bit in R", "bit in S", "bit in the key", "bit in the message",
    "S + L",    "other R",  "other key",      "message one byte longer or shorter"};

Signed Corrupt(const Signed& good, const Signed& other, int kind, std::mt19937_64& random) {
    Signed bad = good;
    switch (kind) {
        case 0:
            FlipBit(&bad.signature, 0, 32, random);
            break;
        case 1:
            FlipBit(&bad.signature, 32, 32, random);
            break;
        case 2:
            FlipBit(&bad.key, 0, 32, random);
            break;
        case 3:
            if (bad.message.empty()) {
                bad.message.push_back(0);
            } else {
                FlipBit(&bad.message, 0, bad.message.size(), random);
            }
            break;
        case 4:
            AddOrder(bad.signature.data() + 32);
            break;
        case 5:
            std::memcpy(bad.signature.data(), other.signature.data(), 32);
            break;
        case 6:
            bad.key = other.key;
            break;
        default:
            if (bad.message.empty() || random() % 2 == 0) {
                bad.message.push_back(static_cast<uint8_t>(random()));
            } else {
                bad.message.pop_back();
            }
            break;
    }
    return bad;
}

bool OursVerify(const Signed& s) {
    return Ed25519Verify(s.signature.data(), s.key.data(), s.message.data(), s.message.size());
}

bool OpenSslVerifies(const Signed& s) {
    return OpenSslVerify(s.signature.data(), s.key.data(), s.message.data(), s.message.size());
}

}  // namespace

int main(int argc, char** argv) {
    long rounds = argc > 1 ? std::atol(argv[1]) : 2000;
    std::mt19937_64 random(argc > 2 ? std::strtoull(argv[2], nullptr, 10) : 1);
    Tally tally;
    Signed previous;
    for (long round = 0; round < rounds; ++round) {
        Bytes seed = RandomBytes(random, 32);
        Signed ours{Bytes(32), Bytes(64), RandomBytes(random, RandomLength(random))};
        Signed openSsl{Bytes(32), Bytes(64), ours.message};
        Ed25519PublicKey(ours.key.data(), seed.data());
        Ed25519Sign(ours.signature.data(), seed.data(), ours.message.data(), ours.message.size());
        bool made = OpenSslPublicKey(openSsl.key.data(), seed.data()) &&
                    OpenSslSign(openSsl.signature.data(), seed.data(), openSsl.message.data(),
                                openSsl.message.size());
        tally.Check(made, "OpenSSL made no key or signature", round);
        tally.Check(ours.key == openSsl.key, "public keys differ", round);
        tally.Check(ours.signature == openSsl.signature, "signatures differ", round);
        tally.Check(OpenSslVerifies(ours), "OpenSSL refuses our signature", round);
        tally.Check(OursVerify(openSsl), "we refuse OpenSSL's signature", round);
        if (round > 0) {
            for (int k = 0; k < 2; ++k) {
                int kind = static_cast<int>((2 * round + k) % kCorruptions);
                Signed bad = Corrupt(ours, previous, kind, random);
                bool oursAccepts = OursVerify(bad);
                bool openSslAccepts = OpenSslVerifies(bad);
                char what[96];
                std::snprintf(what, sizeof(what), "%s: we %s, OpenSSL %s", kCorruptionNames[kind],
                              oursAccepts ? "accept" : "refuse",
                              openSslAccepts ? "accepts" : "refuses");
                tally.Check(!oursAccepts && !openSslAccepts, what, round);
            }
        }
        previous = ours;
    }
    std::printf("%ld passed, %ld failed\n", tally.passed(), tally.failed());
    return tally.failed() == 0 ? 0 : 1;
}
