#include "platform/keys/key_backend_choice.h"

#include "platform/keys/none_key_backend.h"

namespace srd {

std::unique_ptr<KeyBackend> ChooseKeyBackend() { return std::make_unique<NoneKeyBackend>(); }

}  // namespace srd
