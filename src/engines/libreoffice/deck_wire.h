#pragma once

#include "page/deck_model.h"

#include <cstddef>
#include <cstdint>
#include <vector>

namespace velloran::libreoffice {

// The deck model as bytes, to hand it from the reader inside the worker to
// our process in one call: CBOR, so that every double arrives bit for bit
// and text arrives byte for byte, whatever it holds.
std::vector<std::uint8_t> encodeDeck(const page::Deck &deck);

// The deck that encodeDeck() wrote. Throws std::runtime_error when the bytes
// are not one.
page::Deck decodeDeck(const std::uint8_t *bytes, std::size_t size);

} // namespace velloran::libreoffice
