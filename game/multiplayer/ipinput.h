// The editor behind the numeric pad when the player types a host address:
// four dotted numbers, a colon and a port ("192.168.0.1:5000"). Digits go
// into the number under the cursor, separators are never typed or deleted,
// and after each change the text is rebuilt so that every address number
// stays within 0..255 and the port within 0..65535.
//
// The text is read as chunks: a chunk runs from its start up to and including
// the next '.' or ':' (its separator) or the end of the text. Chunks 0 to 3
// are the address numbers, chunk 4 the port. An empty remainder after a final
// separator counts as an empty chunk where the cursor can stand.
#pragma once
#include "game/frontend/textinput.h"

class IPinput : public TextInput {
public:
    static constexpr int kAddressChunks = 4;
    static constexpr int kPortChunk = 4;
    static constexpr int kAddressDigits = 3;
    static constexpr int kPortDigits = 5;
    static constexpr int kAddressMax = 255;
    static constexpr int kPortMax = 65535;
    // The longest normalised text: "255.255.255.255:65535".
    static constexpr int kMaxNormalised = 21;

    // The initial text is taken as it is (not normalised).
    IPinput(const char* text, PTicker* ticker) : TextInput(text, ticker) {}

    int HandleNumpadInput(int key, int c) override;
    void HandleLeftArrowEvent() override;
    void HandleRightArrowEvent() override;
    // Normalises a copy of the text (at most kMaxLength - 1 characters are
    // taken) and sets it with the cursor at its end.
    void SetText(const char* text) override;

    // From start on, the index just past the first '.', ':' or terminator
    // among text[start..length]; length + 1 when none is found there.
    static int NextTxtChunk(const char* text, int length, int start);
    // Digits and the two separators.
    static bool IsNumber(char c);
    // Removes text[pos] when pos < length (the rest moves left).
    static void DeleteChar(char* text, int length, int pos);
    // Inserts c at pos when 0 <= pos <= length; text needs room for one more.
    static void InsertChar(char* text, int length, int pos, char c);
    // Rebuilds text in place: characters other than digits and separators
    // dropped, at most five chunks, each number limited to its range and
    // written without leading zeros, '.' after the first three, ':' after the
    // fourth and a port of 0 when none is given. text is a buffer of at least
    // kMaxLength + 1 bytes; the result has at most kMaxNormalised characters.
    static void VerifyFormat(char* text);

    // The chunk whose span holds the cursor; the number of chunks when the
    // cursor lies beyond them.
    int CursorToChunk() const;
    // -1 for k < 0, else the characters of chunk k before its separator (0
    // for a chunk beyond the text).
    int DigitsInChunk(int k) const;
    // The cursor's offset from the start of its chunk; -1 when no chunk
    // holds it.
    int CursorAtDigitInChunk() const;
    // Removes the characters of chunk k before its separator; the cursor
    // stays where it is.
    void ClearChunk(int k);
    // Puts the cursor at the start of the fourth address number when the
    // text reaches it.
    void SeekCursorToLastIpChunk();

private:
    // Start and end (the separator's or terminator's index) of chunk k; false
    // when the text has no chunk k.
    bool ChunkSpan(int k, int& start, int& end) const;
    int Length() const { return StrLen(m_text); }
    void ClampCursor();
    void Delete();
};
