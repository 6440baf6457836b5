// Position keys drawn from MT19937 with a fixed seed, so that every run and
// both builds hold the same keys (opening book files store them).
#include "engine/zobrist.h"

#include <cstdio>
#include <cstring>

#include "engine/log.h"

// ---- MT19937 (mt19937ar with the improved initialisation) ----
// Words are unsigned long as in the reference; every stored word is kept to
// 32 significant bits, so the 64-bit build draws the same numbers.

static const int MT_N = 624;
static const int MT_M = 397;
static const unsigned long MATRIX_A = 0x9908b0dfUL;
static const unsigned long UPPER_MASK = 0x80000000UL;
static const unsigned long LOWER_MASK = 0x7fffffffUL;

static unsigned long mt[MT_N];
static int mti = MT_N + 1;  // not yet seeded
static const unsigned long mag01[2] = {0x0UL, MATRIX_A};

void init_genrand(unsigned long s) {
  mt[0] = s & 0xffffffffUL;
  for (mti = 1; mti < MT_N; mti++) {
    mt[mti] = (1812433253UL * (mt[mti - 1] ^ (mt[mti - 1] >> 30)) + (unsigned long)mti);
    mt[mti] &= 0xffffffffUL;
  }
}

void init_by_array(unsigned long init_key[], int key_length) {
  init_genrand(19650218UL);
  int i = 1, j = 0;
  int k = (MT_N > key_length ? MT_N : key_length);
  for (; k; k--) {
    mt[i] =
        (mt[i] ^ ((mt[i - 1] ^ (mt[i - 1] >> 30)) * 1664525UL)) + init_key[j] + (unsigned long)j;
    mt[i] &= 0xffffffffUL;
    i++;
    j++;
    if (i >= MT_N) {
      mt[0] = mt[MT_N - 1];
      i = 1;
    }
    if (j >= key_length) j = 0;
  }
  for (k = MT_N - 1; k; k--) {
    mt[i] = (mt[i] ^ ((mt[i - 1] ^ (mt[i - 1] >> 30)) * 1566083941UL)) - (unsigned long)i;
    mt[i] &= 0xffffffffUL;
    i++;
    if (i >= MT_N) {
      mt[0] = mt[MT_N - 1];
      i = 1;
    }
  }
  mt[0] = 0x80000000UL;  // the state is never all zero
}

unsigned long genrand_int32() {
  unsigned long y;
  if (mti >= MT_N) {
    // Regenerate the whole state at once.
    if (mti == MT_N + 1) init_genrand(5489UL);
    int kk;
    for (kk = 0; kk < MT_N - MT_M; kk++) {
      y = (mt[kk] & UPPER_MASK) | (mt[kk + 1] & LOWER_MASK);
      mt[kk] = mt[kk + MT_M] ^ (y >> 1) ^ mag01[y & 0x1UL];
    }
    for (; kk < MT_N - 1; kk++) {
      y = (mt[kk] & UPPER_MASK) | (mt[kk + 1] & LOWER_MASK);
      mt[kk] = mt[kk + (MT_M - MT_N)] ^ (y >> 1) ^ mag01[y & 0x1UL];
    }
    y = (mt[MT_N - 1] & UPPER_MASK) | (mt[0] & LOWER_MASK);
    mt[MT_N - 1] = mt[MT_M - 1] ^ (y >> 1) ^ mag01[y & 0x1UL];
    mti = 0;
  }
  y = mt[mti++];
  // Tempering.
  y ^= (y >> 11);
  y ^= (y << 7) & 0x9d2c5680UL;
  y ^= (y << 15) & 0xefc60000UL;
  y ^= (y >> 18);
  return y & 0xffffffffUL;
}

long genrand_int31() { return (long)(genrand_int32() >> 1); }

double genrand_real1() { return genrand_int32() * (1.0 / 4294967295.0); }

double genrand_real2() { return genrand_int32() * (1.0 / 4294967296.0); }

double genrand_real3() { return (((double)genrand_int32()) + 0.5) * (1.0 / 4294967296.0); }

double genrand_res53() {
  unsigned long a = genrand_int32() >> 5, b = genrand_int32() >> 6;
  return (a * 67108864.0 + b) * (1.0 / 9007199254740992.0);
}

// ---- key set ----

Zobrist::Zobrist() : pieceKeys(nullptr) { free(); }

Zobrist::~Zobrist() { free(); }

Zobrist::Zobrist(const Zobrist& other) : pieceKeys(nullptr) { *this = other; }

// A copy points at its own stored keys.
Zobrist& Zobrist::operator=(const Zobrist& other) {
  if (this != &other) {
    memcpy(epKeys, other.epKeys, sizeof epKeys);
    sideKey = other.sideKey;
    memcpy(castleKeys, other.castleKeys, sizeof castleKeys);
    memcpy(castleCombo, other.castleCombo, sizeof castleCombo);
    memcpy(keyStore, other.keyStore, sizeof keyStore);
    memcpy(keyOf, other.keyOf, sizeof keyOf);
    pieceKeys = other.pieceKeys ? keyStore : nullptr;
  }
  return *this;
}

void Zobrist::free() {
  pieceKeys = nullptr;
  memset(epKeys, 0, sizeof epKeys);
  sideKey = 0;
  memset(castleKeys, 0, sizeof castleKeys);
  memset(castleCombo, 0, sizeof castleCombo);
  memset(keyStore, 0, sizeof keyStore);
  memset(keyOf, 0, sizeof keyOf);
}

// Two generator outputs, the first as the high word.
static u64 drawKey() {
  u64 high = (u64)genrand_int32();
  u64 low = (u64)genrand_int32();
  return (high << 32) | low;
}

u64 Zobrist::rand64() { return drawKey(); }

int Zobrist::init() {
  // 1. Keys already drawn: keep them.
  if (pieceKeys) return 1;

  // 3. Fixed seed, so every key set of every run is the same.
  unsigned long seed[4] = {0x654, 0x543, 0x432, 0x321};
  init_by_array(seed, 4);

  // 4-5. 781 keys in order, then keys 544 and 465 drawn again.
  const int KEY_COUNT = 781;
  static u64 keys[KEY_COUNT];
  for (int i = 0; i < KEY_COUNT; i++) keys[i] = drawKey();
  keys[544] = drawKey();
  keys[465] = drawKey();

  // 6. Minimum Hamming distance over all pairs (reported to the log only).
  int minimum = 65535;
  for (int i = 0; i < KEY_COUNT; i++)
    for (int j = i + 1; j < KEY_COUNT; j++) {
      int d = __builtin_popcountll(keys[i] ^ keys[j]);
      if (d < minimum) minimum = d;
    }
  Log::print("Zobrist keys count = %d, Minimum Hamming distance = %d", KEY_COUNT, minimum);

  // 7. The drawn order is colour-major (black pawn .. king, then white);
  //    the stored order interleaves the colours per piece type.
  for (unsigned c = 0; c < 2; c++)
    for (unsigned t = 1; t <= 6; t++)
      for (unsigned s = 0; s < 64; s++)
        keyStore[(2 * (t - 1) + c) * 64 + s] = keyOf[c * 7 + t][s] = keys[(c * 6 + t - 1) * 64 + s];

  // 8.
  for (int f = 0; f < 8; f++) epKeys[f] = keys[768 + f];
  for (int b = 0; b < 4; b++) castleKeys[b] = keys[776 + b];
  sideKey = keys[780];
  for (int rights = 0; rights < 16; rights++) {
    castleCombo[rights] = 0;
    for (int b = 0; b < 4; b++)
      if (rights & (1 << b)) castleCombo[rights] ^= castleKeys[b];
  }
  pieceKeys = keyStore;
  return 1;
}

void Zobrist::hashText(u64 key, char* out) {
  snprintf(out, 17, "%016llx", (unsigned long long)key);
}
