// The mobile description made and written: the page painted once in bands,
// cut where it shows least (where its rows are of one colour), each piece
// encoded to fit the rules as soon as its cuts are certain, and the folder
// written with
// the pictures (01.jpg, 02.png...), 热区.json and 说明.txt. The folder is
// written beside the target under another name and takes its name only
// when complete, so a failure or a cancel leaves nothing that looks done.
#pragma once

#include <atomic>
#include <cstdint>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "mobile/CutPlan.h"
#include "mobile/HotAreas.h"
#include "mobile/Rules.h"
#include "mobile/Seams.h"

namespace mojian::mobile {

enum class FormatChoice : std::uint8_t { Auto, Jpeg, Png };

// Scanning: the page painted and cut, the pieces encoded as their cuts
// come; Encoding: the pieces left once the page is painted.
enum class PackStage : std::uint8_t { Scanning, Encoding, Writing };

struct PieceInfo {
    std::string file;  // "01.jpg"
    int top = 0;       // the piece's first row in the page
    int width = 0, height = 0;
    std::uint64_t bytes = 0;
    Format format = Format::Jpeg;
    int quality = 0;  // JPEG; 0 for PNG
};

// What the contact sheet needs: the page to paint it from (in bands, as
// small as it likes), the cuts, and an encoder of the thread making it
// (the painting thread, once the page is painted, beside the encoding of
// the last pieces). It gives a file's name and bytes,
// or nothing when it could not make one.
struct ContactSheetInput {
    PagePainter& page;
    const std::vector<int>& cuts;
    PieceEncoder& encoder;
};
struct ContactSheetFile {
    std::string file;  // a plain name, written into the folder
    std::string bytes;
};

struct PackOptions {
    std::string folder;      // the folder to make (UTF-8)
    bool overwrite = false;  // the user agreed to replace an existing folder
    FormatChoice format = FormatChoice::Auto;
    int maxHeight = 0;        // the seller's own limit; 0 or above the rules': the rules'
    int bestQuality = 100;    // the JPEG quality tried first
    MobileRules rules = MobileRules::BuiltIn();
    PageGeometry geometry;    // at the painter's width
    // What the caller already knows is worth telling (Chinese), written in
    // 说明.txt with the pack's own notes.
    std::vector<std::string> notes;
    std::function<void(PackStage, double)> progress;  // fraction 0..1 of the stage
    const std::atomic<bool>* cancel = nullptr;
    // The contact sheet of all pieces with the cut lines; none: no sheet.
    // It runs once the page is painted, beside the last pieces' encoding.
    std::function<std::optional<ContactSheetFile>(const ContactSheetInput&)> contactSheet;
    // Another encoder, made on the thread that will use it; given, pieces
    // are encoded beside the painting on as many threads as there are
    // cores less one (up to three), and on the painting thread when they
    // fall behind.
    std::function<std::unique_ptr<PieceEncoder>()> newEncoder;
};

struct PackResult {
    bool ok = false;
    bool cancelled = false;
    std::string folder;  // where it was written
    std::vector<int> cuts;
    std::vector<PieceInfo> pieces;
    std::vector<std::vector<HotArea>> areas;  // per piece
    std::vector<LeftOutLink> leftOut;
    std::vector<std::string> notes;   // Chinese: done, but worth knowing
    std::vector<std::string> errors;  // Chinese: why nothing was written
};

// How much of one colour each row is: 1 minus the share of pixels that
// differ from the one on their left.
std::vector<float> RowUniformity(const Raster& band);

// Whether a piece is flat graphics rather than photographs: at most
// `maxColours` distinct colours. Auto tries PNG only on such pieces.
bool LooksFlat(const Raster& piece, std::size_t maxColours = 2048);

// Encodes a piece as the rules allow: JPEG at the highest quality up to
// `bestQuality` that keeps within maxBytes; under Auto, PNG instead when it
// is smaller and fits (tried for flat pieces, or when no JPEG fits).
// Nothing, with the reason in `error`, when no encoding fits or the encoder
// failed.
struct Encoded {
    std::string bytes;
    Format format = Format::Jpeg;
    int quality = 0;
};
std::optional<Encoded> EncodePiece(PieceEncoder& encoder, const Raster& piece, FormatChoice choice,
                                   std::uint64_t maxBytes, int bestQuality, std::string& error);

PackResult Pack(PagePainter& painter, PieceEncoder& encoder, const PackOptions& options);

// The folder offered by default: beside the project file, named after it
// ("D:/店铺/春装.mjp" gives "D:/店铺/春装-手机详情"); empty for a project
// never saved, where the user has to choose.
std::string DefaultFolder(const std::string& projectPath);

// The texts written beside the pictures.
std::string HotAreasJson(const std::vector<PieceInfo>& pieces, const std::vector<std::vector<HotArea>>& areas);
std::string NotesText(const PackResult& result, const MobileRules& rules);

}  // namespace mojian::mobile
