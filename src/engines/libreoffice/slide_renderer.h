#pragma once

#include "engines/libreoffice/webp_encoder.h"
#include "page/deck_model.h"

#include <com/sun/star/lang/XComponent.hpp>
#include <com/sun/star/uno/XComponentContext.hpp>

#include <filesystem>
#include <functional>
#include <string>

namespace velloran::libreoffice {

// Width in pixels of the 1x slide pictures; the 2x pictures are twice as
// wide. 1280 pixels cover the page's slide column (at most 71rem wide) on
// a full-HD screen and a phone's width at three device pixels per CSS
// pixel. Drawing and encoding cost grows with the pixel count: at 1440 a
// deck of simple slides took half as long again as the old export.
inline constexpr int kSlideWidth = 640;
// How the slide pictures are encoded (see webp_encoder.h).
inline constexpr WebpSettings kSlideWebp{};

// Renders every slide of an open presentation into `folder` as WebP, at the
// picture size readDeck() put in `deck` (1x) and twice that (2x), and fills
// in the picture names of `deck`.
//
// LibreOffice's graphic export filter draws each page once, at 2x, as an
// uncompressed BMP; this process encodes it as WebP at 2x and, halved, at
// 1x. `encoderThreads` is asked after each page is drawn: above 0, up to
// that many threads encode 2x pictures while the calling thread encodes the
// 1x and LibreOffice draws the next pages; with 0 the calling thread
// encodes both. LibreOffice's own WebP export takes about three
// times as long for the same pictures. Throws UNO exceptions,
// std::runtime_error, or AutomationError naming `pageName` when a picture
// cannot be written; call it under the watchdog.
void renderSlides(
    const com::sun::star::uno::Reference<com::sun::star::uno::XComponentContext> &remote,
    const com::sun::star::uno::Reference<com::sun::star::lang::XComponent> &document,
    const std::filesystem::path &folder, page::Deck &deck, const std::string &pageName,
    const std::function<int()> &encoderThreads);

} // namespace velloran::libreoffice
