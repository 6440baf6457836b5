// Zobrist key set of a position and the Mersenne Twister it is drawn from.
#pragma once

#include "engine/types.h"

class Zobrist {
public:
  u64* pieceKeys;       // 768 keys: entry (2 * (type - 1) + colour) * 64 + square
  u64 epKeys[8];
  u64 sideKey;
  u64 castleKeys[4];

  Zobrist();
  ~Zobrist();
  int init();
  void free();
  u64 rand64();
  static void hashText(u64 key, char* out);

  u64 pieceKey(unsigned colour, unsigned type, unsigned square) const {
    return pieceKeys[((2 * (type - 1) + colour) << 6) + square];
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
