#pragma once
// The lines of a DBC text, from bytes in memory or from a file read through a window that is reused.
#include <cstdint>
#include <memory>
#include <string>
#include <string_view>

namespace vexdbc {

// The lines of the text, without their line end. A file is read through a window that is reused, so a file
// of any size costs the memory of its longest stretch of lines in use, not its size. The text is ASCII,
// UTF-8 (valid UTF-8 holding non-ASCII text; a byte-order mark at the start is dropped) or GBK (anything
// else, decoded line by line). Which one is settled at the first line that is not ASCII, by checking the
// rest of the text: a line break never lies inside a UTF-8 or GBK character, so the text is valid UTF-8
// exactly when each of its lines is, and a GBK text decodes to its lines decoded one by one.
class LineSource {
public:
    explicit LineSource(std::string_view bytes);
    // Reads the open file `fd` (not closed here) through a window of `window` bytes, which grows for a
    // longer line.
    LineSource(int fd, size_t window);

    // The next line, valid until the next call of next or rewind. False at the end or on a read error.
    bool next(std::string_view& line);
    // Where the next line starts.
    uint64_t position() const { return m_pos; }
    // Reads on from a position that position() gave.
    void rewind(uint64_t pos);
    // The errno of a failed read, else 0.
    int error() const { return m_error; }
    // Reads the first window: false when the file cannot be read at all.
    bool prime() { return m_fd < 0 || fill(); }

private:
    enum class Enc : uint8_t { Ascii, Utf8, Gbk };  // Ascii: every line so far

    bool rawLine(std::string_view& line);
    // Keeps the bytes from the current position on and reads more after them.
    bool fill();
    // At the first line that is not ASCII, starting at `start`: UTF-8 when this line and every later one is
    // valid UTF-8, else GBK. The line is read again.
    bool settleEncoding(uint64_t start, std::string_view& line);

    int m_fd = -1;
    std::unique_ptr<char[]> m_buf;
    size_t m_cap = 0;
    const char* m_data = nullptr;  // the window: the bytes from file offset m_base on
    size_t m_len = 0;
    uint64_t m_base = 0;
    uint64_t m_pos = 0;  // file offset of the next line
    bool m_eof = false;  // nothing after the window
    int m_error = 0;
    Enc m_enc = Enc::Ascii;
    uint64_t m_asciiEnd = 0;  // file offset up to which every byte is ASCII
    std::string m_decoded;
};

// The length of the text's first stretch of ASCII bytes.
size_t AsciiPrefix(std::string_view text);

}  // namespace vexdbc
