#pragma once

// The deck reader that runs inside the worker: the same readDeck() as over
// the bridge, built a second time into a library of its own
// (libvelloran_office_reader.so) that the worker loads, so that the
// thousands of calls of one read stay inside soffice.bin and our process
// makes one call per deck.
//
// The library holds one UNO component implementing com.sun.star.task.XJob:
// execute() takes the open document as the argument "Document" and returns
// the deck model as bytes (deck_wire.h), a sequence of sal_Int8.

namespace velloran::libreoffice {

inline constexpr char kReaderImplementation[] = "org.example.velloran.InWorkerDeckReader";
inline constexpr char kReaderLibraryFile[] = "libvelloran_office_reader.so";
inline constexpr char kReaderDocumentArgument[] = "Document";

} // namespace velloran::libreoffice
