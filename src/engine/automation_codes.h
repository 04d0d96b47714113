#pragma once
// The integers of the engine's automation interface, by name. Callers pass
// them where the operations take an int.

namespace engine {

// SaveFile's file types.
enum FileType : int {
    kFileFitsFloat = 3, // 32-bit float FITS
    kFileJpegGrey = 6,  // 8-bit grey JPEG
};

// PlateSolveStatus's values.
enum PlateSolveState : int {
    kNoPlateSolution = 0,
    kPlateSolveFailed = 1,
    kPlateSolved = 2,
    kPlateSolving = 3,
};

// AlignToThis's modes.
enum AlignMode : int {
    kAlignByPlateSolutions = 1, // both plate solutions alone
    kAlignByStars = 3,          // star matching, from the plate solutions when both exist
};

} // namespace engine
