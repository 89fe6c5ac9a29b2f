// The preview's current HTML document as a plain model: its source, title and
// body, changed only by the operations the preview offers. Both preview back
// ends keep one, so what a preview shows is always explicit and testable.
#pragma once

#include <string>
#include <string_view>

namespace mojian {

class PreviewDocument {
public:
    // A freshly loaded about:blank: empty, closed, and marked fresh so that
    // the first writeln starts the document.
    void LoadBlank();

    // Starts a new, empty document, open for writing.
    void Open();
    // Appends `text` and a line break. On a closed document (a fresh blank
    // page, or one finished with Close) it first starts a new document, as
    // document.writeln does; the document is left open.
    void Writeln(std::string_view text);
    // Ends the writing; the next writeln starts a new document.
    void Close();

    // Replaces the content of the body only; the head and its title stay.
    // A document without a body element (a bare fragment written by writeln)
    // gets one around the new content, keeping its head if it has one.
    void SetBodyInnerHtml(std::string_view html);

    const std::string& Source() const { return source_; }
    // The text of the first title element, blanks collapsed as a browser
    // shows it; empty when there is none.
    std::string Title() const;
    // What the body element holds; without a body element, the source less
    // its head.
    std::string Body() const;

    bool IsOpen() const { return open_; }
    bool IsFreshBlank() const { return fresh_; }

private:
    std::string source_;
    bool open_ = false;
    bool fresh_ = false;
};

}  // namespace mojian
