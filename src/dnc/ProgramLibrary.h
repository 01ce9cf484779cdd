#pragma once
#include <string>
#include <string_view>
#include <vector>

// One machine's programs: <folder>/<name>.nc, and the contents they replaced
// in <folder>/versions/<name>.nc.<N> (1, 2, ... oldest first).
//
// A save never loses a stored program: the old file is linked (or, where the
// file system has no hard links, copied) into versions/ and synced before the
// new content is renamed over it. A crash at any step leaves either the old
// file, or the old file and its version, or the new file and the version.
//
// Threads: the object holds only its folder; saves from two threads or
// processes each take a version number of their own.
class ProgramLibrary {
public:
    enum class Outcome {
        Saved,     // a new program
        Identical, // the same program was already there; nothing written
        Versioned, // replaced; the previous content is at versionPath
        Failed,    // nothing changed; error says why
    };
    struct SaveResult {
        Outcome outcome = Outcome::Failed;
        std::string path;
        std::string versionPath;
        std::string error;
    };

    explicit ProgramLibrary(std::string folder);
    const std::string& Folder() const { return folder; }

    // name must be a safe program name (see SafeProgramName). The folder is
    // made when missing.
    SaveResult Save(const std::string& name, std::string_view bytes) const;

    // The path of the stored program a request means ("1234", "O1234",
    // "o12", "O1234.nc", "PART_A1"); empty when there is none.
    std::string Find(std::string_view request) const;

    // The names of the stored programs, sorted. A missing folder is an empty
    // library; a folder that cannot be read sets *error.
    std::vector<std::string> List(std::string* error = nullptr) const;

    // Whether two texts are the same program for Save: equal bytes, or equal
    // but for the line-end style (CR LF, LF, CR) and blanks and line ends at
    // the very end, which a controller's punch adds or drops.
    static bool SameProgram(std::string_view a, std::string_view b);
    // The program's name of a stored file's path: "O1234" of ".../O1234.nc".
    static std::string NameOf(const std::string& path);

private:
    std::string folder;
};
