#include "seal/key.h"

#include <sodium.h>

namespace srd::seal {

bool StartSealing() {
  // sodium_init is safe to call more than once and from several threads; 1 means it had run before.
  return sodium_init() >= 0;
}

Key NewKey() {
  Key key;
  randombytes_buf(key.bytes.data(), key.bytes.size());
  return key;
}

}  // namespace srd::seal
