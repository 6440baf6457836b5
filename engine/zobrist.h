// Zobrist key set of a position and the Mersenne Twister it is drawn from.
#pragma once

#include "engine/types.h"

// The piece keys are stored inside the object, so drawing them cannot fail
// for want of memory; pieceKeys is null until init and then points at them.
class Zobrist {
public:
  u64* pieceKeys;  // 768 keys: entry (2 * (type - 1) + colour) * 64 + square
  u64 epKeys[8];
  u64 sideKey;
  u64 castleKeys[4];    // by right bit: 0 white O-O, 1 white O-O-O, 2 black O-O, 3 black O-O-O
  u64 castleCombo[16];  // XOR of castleKeys over the bits of a castle-rights byte
  u64 keyStore[768];    // the piece keys; all 0 while the set is not drawn
  u64 keyOf[14][64];    // the same keys by composite piece index colour * 7 + type
                        // (rows 0 and 7 all 0), for make and unmake

  Zobrist();
  ~Zobrist();
  Zobrist(const Zobrist& other);
  Zobrist& operator=(const Zobrist& other);
  int init();
  void free();
  u64 rand64();
  static void hashText(u64 key, char* out);

  u64 pieceKey(unsigned colour, unsigned type, unsigned square) const {
    return keyOf[colour * 7 + type][square];
  }
};

// The MT19937 generator (reference mt19937ar, 2002 initialisation).
void init_genrand(unsigned long s);
void init_by_array(unsigned long init_key[], int key_length);
unsigned long genrand_int32();
long genrand_int31();
double genrand_real1();
double genrand_real2();
double genrand_real3();
double genrand_res53();
