// What a mail holds that its reader would miss, and whether its archived
// message still holds it: each attachment and picture by its bytes
// (SHA-256; a name may change, the bytes never), each text a reader sees by
// its words, attached messages with what they hold. Texts are read as the
// loader reads them; an alternative counts once, by the part a reader shows.
#pragma once

#include <array>
#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

namespace CV::Cli {

struct Inventory {
  struct Binary {
    std::string label;  // "Anhang „bericht.pdf“", "Bild „logo.png“"
    std::array<std::uint8_t, 32> sha256;
  };
  struct Text {
    std::vector<std::string> words;
  };
  std::vector<Binary> binaries;
  std::vector<Text> texts;
};

// The inventory of a mail as it came. Throws std::runtime_error when the
// bytes hold no message.
Inventory InventoryOf(std::string_view message);

// What of source the archived message lacks, one German line each ("Anhang
// „x“ fehlt", "Bild „x“ fehlt", "3 von 40 Wörtern des Textes fehlen");
// nothing when it is whole. Every part of the archived message counts, its
// attached messages' too. Throws std::runtime_error when archived holds no
// message.
std::vector<std::string> MissingFrom(const Inventory& source, std::string_view archived);

// The words of a text: its runs of letters and digits (any character
// beyond ASCII but blanks and punctuation counts as a letter).
std::vector<std::string> WordsOf(std::string_view utf8);

}  // namespace CV::Cli
