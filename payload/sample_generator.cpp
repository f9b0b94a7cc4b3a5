// Writes a deterministic sample payload: 100 files with the structure of the
// product's payload (groups, order, sides, sub-directories, the special names
// and lines the installer rewrites) and the list that packs them.
//   sample-payload OUTDIR   writes OUTDIR/files/... and OUTDIR/payload.list
#include <array>
#include <cstdint>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <iostream>
#include <string>
#include <vector>

namespace {

constexpr std::size_t kTotalBytes = 10'481'003;
constexpr std::size_t kSmallest = 784;
constexpr std::size_t kLargest = 899'072;
constexpr const char* kDefaultPathLine =
    "path = 'C:\\\\Allplan\\\\2025\\\\Daten\\\\Std\\\\PythonPartsScripts\\\\MELDRA'";

enum class Kind { Text, Script, PartDefinition, Binary, Image };

struct File {
  bool palette;
  std::string subDir;
  std::string name;
  Kind kind;
  std::size_t size;        // 0: takes whatever makes the total exact
  double randomShare = 0;  // binary kinds: share of incompressible bytes
  std::string script;      // part definitions: the script they reference
  int twinOf = -1;         // images: same content as that earlier file
};

struct Random {
  std::uint64_t state;
  std::uint64_t next() {
    std::uint64_t z = (state += 0x9e3779b97f4a7c15ull);
    z = (z ^ (z >> 30)) * 0xbf58476d1ce4e5b9ull;
    z = (z ^ (z >> 27)) * 0x94d049bb133111ebull;
    return z ^ (z >> 31);
  }
  std::size_t below(std::size_t n) { return static_cast<std::size_t>(next() % n); }
};

const std::array<const char*, 24> kWords = {
    "Bauteil",  "Palette",   "Parameter", "valeur",  "longueur", "largeur", "hauteur",  "Element",
    "script",   "module",    "Profil",    "Ansicht", "commande", "article", "Material", "epaisseur",
    "Schalung", "Bewehrung", "Text",      "Layer",   "Stift",    "Strich",  "Farbe",    "Attribut"};

std::string prose(Random& rng, std::size_t bytes, const std::string& linePrefix) {
  std::string out;
  while (out.size() < bytes) {
    std::string line = linePrefix;
    const std::size_t words = 4 + rng.below(9);
    for (std::size_t i = 0; i < words; ++i) {
      line += kWords[rng.below(kWords.size())];
      line += i + 1 < words ? " " : "";
    }
    if (rng.below(3) == 0) line += " " + std::to_string(rng.below(100000));
    out += line + "\n";
  }
  return out;
}

// Cuts or pads to the exact size and ends the text with a line feed.
std::string fit(std::string text, std::size_t size) {
  if (text.size() > size) text.resize(size);
  while (text.size() < size) text += ' ';
  text.back() = '\n';
  return text;
}

std::string binary(Random& rng, std::size_t size, double randomShare, const std::string& magic) {
  std::string out = magic;
  while (out.size() < size) {
    const std::size_t block = 256 + rng.below(3840);
    if (static_cast<double>(rng.below(10000)) < randomShare * 10000.0) {
      for (std::size_t i = 0; i < block; ++i) out += static_cast<char>(rng.next() & 0xff);
    } else {
      // Tables, padding and repeated records: what compresses in real binaries.
      const std::size_t period = 1 + rng.below(24);
      std::string record;
      for (std::size_t i = 0; i < period; ++i) record += static_cast<char>(rng.next() & 0xff);
      for (std::size_t i = 0; i < block; ++i) out += record[i % period];
    }
  }
  out.resize(size);
  return out;
}

std::string content(const File& file, Random& rng) {
  switch (file.kind) {
    case Kind::Text:
      return fit(prose(rng, file.size, file.name.ends_with(".xml") ? "  <t>" : ""), file.size);
    case Kind::Script: {
      std::string text = "# -*- coding: utf-8 -*-\n\"\"\"" + file.name +
                         ": PALUXEN part script (sample payload).\"\"\"\nimport sys\n\n" +
                         kDefaultPathLine +
                         "\nif path not in sys.path:\n    sys.path.append(path)\n\n";
      return fit(text + prose(rng, file.size, "# "), file.size);
    }
    case Kind::PartDefinition: {
      std::string text =
          "<?xml version=\"1.0\" encoding=\"utf-8\"?>\n<Element>\n  <Script>\n"
          "    <Name>MELDRA\\" +
          file.script +
          "</Name>\n"
          "    <Title>" +
          file.name.substr(0, file.name.size() - 4) +
          "</Title>\n"
          "    <Version>1.0</Version>\n  </Script>\n  <Page>\n";
      text += prose(rng, file.size, "    <!-- ");
      const std::string end = "  </Page>\n</Element>\n";
      return fit(text, file.size - end.size()) + end;
    }
    case Kind::Image:
      return binary(rng, file.size, file.randomShare, "\x89PNG\r\n\x1a\n");
    case Kind::Binary:
      return binary(rng, file.size, file.randomShare,
                    file.name.ends_with(".pdf") ? "%PDF-1.7\n" : "MZ");
  }
  return {};
}

std::vector<File> sampleFiles() {
  std::vector<File> files;
  auto add = [&](bool palette, std::string subDir, std::string name, Kind kind, std::size_t size,
                 double randomShare = 0.0) {
    files.push_back({palette, std::move(subDir), std::move(name), kind, size, randomShare});
    return files.size() - 1;
  };
  const bool P = true, S = false;
  add(P, "", "LISEZMOI.md", Kind::Text, 6'214);
  add(P, "", "Nutzungsbedingungen.pdf", Kind::Binary, kLargest, 0.80);
  add(P, "", "Conditions d'utilisation.pdf", Kind::Binary, 611'840, 0.80);
  add(P, "", "Condizioni d'uso.pdf", Kind::Binary, 587'264, 0.80);
  add(S, "", "bestellliste_core.dll", Kind::Binary, 245'760, 0.55);
  add(S, "", "_bestellliste.cp312-win_amd64.pyd", Kind::Binary, 180'224, 0.55);
  for (const char* lang : {"de", "fr", "en", "it"}) {
    add(S, "", std::string("sprache_") + lang + ".xml", Kind::Text,
        std::string(lang) == "de" ? kSmallest : 1'950 + files.size() * 13);
  }
  add(S, "", "dialogs.cp312-win_amd64.pyd", Kind::Binary, 412'160, 0.55);
  add(S, "", "widgets.cp312-win_amd64.pyd", Kind::Binary, 356'352, 0.55);
  add(S, "fonts/", "Paluxen[wght].ttf", Kind::Binary, 880'412, 0.63);
  add(S, "fonts/", "Paluxen-Italic[wght].ttf", Kind::Binary, 851'980, 0.63);
  add(S, "fonts/", "OFL.txt", Kind::Text, 4'490);
  add(S, "fonts/", "README.txt", Kind::Text, 2'611);
  std::size_t adjust = 0;
  for (const char* width : {"Paluxen", "PaluxenCondensed"}) {
    for (const char* weight : {"Thin", "ExtraLight", "Light", "Regular", "Medium", "SemiBold",
                               "Bold", "ExtraBold", "Black"}) {
      for (const char* italic : {"", "Italic"}) {
        const std::size_t size = 92'000 + (files.size() * 7'919) % 41'000;
        const std::size_t index =
            add(S, "fonts/static/", std::string(width) + "-" + weight + italic + ".ttf",
                Kind::Binary, size, 0.63);
        if (std::string(weight) == "Regular" && *italic == '\0' && adjust == 0) adjust = index;
      }
    }
  }
  add(S, "resources/", "logo.png", Kind::Image, 18'342, 0.97);
  add(S, "resources/", "fleche gauche.png", Kind::Image, 2'911, 0.97);
  add(S, "resources/", "fleche droite.png", Kind::Image, 2'904, 0.97);
  add(S, "resources/", "aide.png", Kind::Image, 3'460, 0.97);
  add(S, "resources/", "fond.jpg", Kind::Image, 121'533, 0.99);
  add(S, "", "bestellliste.py", Kind::Script, 14'077);
  add(P, "", "Bestellliste.png", Kind::Image, 9'021, 0.97);
  files[add(P, "", "Bestellliste.pyp", Kind::PartDefinition, 3'874)].script = "bestellliste.py";
  for (const char* lang : {"de", "en", "fr", "it"}) {
    add(P, "", std::string("Bestellliste_") + lang + ".xml", Kind::Text, 2'400 + files.size() * 9);
  }
  std::size_t firstIcon = 0;
  for (const char* model : {"VESK", "DORL", "FIMB"}) {
    const std::string m = model;
    std::string lower;
    for (char c : m) lower += static_cast<char>(c - 'A' + 'a');
    const std::size_t icon = add(P, "", m + ".png", Kind::Image, 8'406, 0.97);
    if (firstIcon == 0) {
      firstIcon = icon;
    } else if (m == "DORL") {
      files[icon].twinOf = static_cast<int>(firstIcon);  // the same icon under two names
    }
    add(P, "", m + "_apercu.png", Kind::Image, 44'000 + files.size() * 31, 0.97);
    if (m == "FIMB") add(P, "", "FIMB illustration, coupe.png", Kind::Image, 96'517, 0.97);
    files[add(P, "", m + ".pyp", Kind::PartDefinition, 4'000 + files.size() * 7)].script =
        lower + ".py";
    for (const char* lang : {"de", "en", "fr", "it"}) {
      add(P, "", m + "_" + lang + ".xml", Kind::Text, 2'500 + files.size() * 11);
    }
    add(S, "", lower + ".cp312-win_amd64.pyd", Kind::Binary, 150'000 + files.size() * 97, 0.55);
    add(S, "", lower + ".py", Kind::Script, 21'000 + files.size() * 41);
    add(S, "", lower + "_natif.dll", Kind::Binary, 96'256 + files.size() * 64, 0.55);
  }
  for (const char* script :
       {"vesk_fimb.py", "vesk_dorl.py", "vesk_imp.py", "fimb_imp.py", "dorl_imp.py"}) {
    add(S, "", script, Kind::Script, 9'000 + files.size() * 23);
  }
  std::size_t sum = 0;
  for (const File& file : files) sum += file.size;
  files[adjust].size = kTotalBytes - (sum - files[adjust].size);
  return files;
}

}  // namespace

int main(int argc, char** argv) {
  if (argc != 2) {
    std::cerr << "usage: sample-payload OUTDIR\n";
    return 2;
  }
  const std::filesystem::path out = argv[1];
  const std::vector<File> files = sampleFiles();
  std::size_t total = 0, smallest = SIZE_MAX, largest = 0;
  for (const File& file : files) {
    total += file.size;
    smallest = std::min(smallest, file.size);
    largest = std::max(largest, file.size);
  }
  if (files.size() != 100 || total != kTotalBytes || smallest != kSmallest || largest != kLargest) {
    std::cerr << "sample-payload: inconsistent sample (" << files.size() << " files, " << total
              << " bytes, " << smallest << " to " << largest << ")\n";
    return 1;
  }
  std::string list = "# Sample payload, generated; one item a line: side, sub-directory, file.\n";
  std::vector<std::string> written;
  Random rng{20251210};
  for (const File& file : files) {
    const std::string relative =
        std::string("files/") + (file.palette ? "palette/" : "script/") + file.subDir + file.name;
    const std::filesystem::path path = out / relative;
    std::filesystem::create_directories(path.parent_path());
    const std::string bytes =
        file.twinOf >= 0 ? written[static_cast<std::size_t>(file.twinOf)] : content(file, rng);
    if (bytes.size() != file.size) {
      std::cerr << "sample-payload: " << file.name << " came out " << bytes.size() << " bytes\n";
      return 1;
    }
    std::ofstream(path, std::ios::binary)
        .write(bytes.data(), static_cast<std::streamsize>(bytes.size()));
    written.push_back(bytes);
    list += std::string(file.palette ? "palette" : "script") + " " +
            (file.subDir.empty() ? "-" : file.subDir) + " " + relative + "\n";
  }
  std::ofstream(out / "payload.list", std::ios::binary) << list;
  return 0;
}
