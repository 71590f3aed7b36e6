// The XML rules: the layout of Apple's writer and nothing else. Every construct at which the two
// systems' parsers part ways (where a comment, a processing instruction, a quoted attribute or a
// document type ends, which encoding applies, what an entity stands for) lies outside it.

#include <algorithm>
#include <array>
#include <string>
#include <vector>

#include "reading/PropertyListRules.h"
#include "reading/ReaderTables.h"
#include "reading/Utf8.h"

namespace gatewarden {

namespace {

constexpr std::string_view declaration = "<?xml version=\"1.0\" encoding=\"UTF-8\"?>";
// The document type of today's writer, and of the writers before it.
constexpr std::array<std::string_view, 2> documentTypes{
    "<!DOCTYPE plist PUBLIC \"-//Apple//DTD PLIST 1.0//EN\" \"http://www.apple.com/DTDs/PropertyList-1.0.dtd\">",
    "<!DOCTYPE plist PUBLIC \"-//Apple Computer//DTD PLIST 1.0//EN\" "
    "\"http://www.apple.com/DTDs/PropertyList-1.0.dtd\">"};

class XmlWalk {
public:
    explicit XmlWalk(std::string_view text) : text_(text), coreFoundation_(text.size()) {}

    bool follows() {
        if (!isUtf8(text_) || text_.find('\0') != std::string_view::npos) return false;
        if (!take(declaration)) return false;
        skipBlanks();
        if (!take(documentTypes[0]) && !take(documentTypes[1])) return false;
        skipBlanks();
        if (!take("<plist version=\"1.0\">") || !value()) return false;
        skipBlanks();
        if (!take("</plist>")) return false;
        skipBlanks();
        return at_ == text_.size();
    }

private:
    // An open array or dictionary, without recursion.
    struct Open {
        bool dictionary = false;
        std::vector<std::string> keys;  // a dictionary's, as Apple's reader reads them
        bool numberLast = false;        // the value of its latest key is a number
        // Its keys in order as each system's table meets them: CoreFoundation's hash of the text
        // Apple's reader reads, libplist's bucket of the text libplist reads (U+FEFF and all).
        std::vector<TableKey> coreFoundationKeys;
        std::vector<unsigned> libplistBuckets;
    };

    // The top value of the document, with everything below it. XML shares nothing and every value or
    // key takes at least 7 bytes, so a file within its size limit is within its expansion limit.
    // Each dictionary's keys, once it closes: none twice, and within what the readers' tables may
    // spend.
    bool value() {
        std::vector<Open> open;
        for (;;) {
            skipBlanks();
            if (!open.empty()) {
                Open& parent = open.back();
                if (take(parent.dictionary ? "</dict>" : "</array>")) {
                    if (parent.dictionary &&
                        (!distinctKeys(parent) || !coreFoundation_.addDictionary(parent.coreFoundationKeys, true) ||
                         !libplistKeysSpread(parent.libplistBuckets)))
                        return false;
                    open.pop_back();
                    if (open.empty()) return true;
                    continue;
                }
                if (parent.dictionary) {
                    std::string key;
                    if (!take("<key>") || !text("</key>", key)) return false;
                    std::string_view asApplesReaderReadsIt = withoutByteOrderMark(key);
                    std::u16string units = utf16Of(asApplesReaderReadsIt);
                    parent.coreFoundationKeys.push_back({coreFoundationTextHash(units), units.size()});
                    parent.libplistBuckets.push_back(libplistKeyBucket(key));
                    parent.keys.emplace_back(asApplesReaderReadsIt);
                    skipBlanks();
                }
            }
            if (open.size() > static_cast<std::size_t>(propertyListDepthLimit)) return false;
            bool number = false;
            bool dictionary = take("<dict>");
            if (dictionary || take("<array>")) {
                open.push_back({dictionary, {}, false, {}, {}});
                continue;
            }
            std::string ignored;
            if (take("<string>")) {
                if (!text("</string>", ignored)) return false;
            } else if (take("<integer>")) {
                if (!(number = scalar("</integer>", isPropertyListInteger))) return false;
            } else if (take("<real>")) {
                if (!(number = scalar("</real>", isPropertyListReal))) return false;
            } else if (take("<date>")) {
                if (!scalar("</date>", isPropertyListDate)) return false;
            } else if (take("<data>")) {
                if (!scalar("</data>", isPropertyListData)) return false;
            } else if (!take("<dict/>") && !take("<array/>") && !take("<true/>") && !take("<false/>")) {
                return false;
            }
            if (open.empty()) return true;
            open.back().numberLast = number;
        }
    }

    // No key twice, and not the lone "CF$UID" of an archiver's UID.
    static bool distinctKeys(const Open& dictionary) {
        const std::vector<std::string>& keys = dictionary.keys;
        if (keys.size() == 1 && keys[0] == "CF$UID" && dictionary.numberLast) return false;
        std::vector<std::string_view> sorted(keys.begin(), keys.end());  // views move faster than texts
        std::sort(sorted.begin(), sorted.end());
        return std::adjacent_find(sorted.begin(), sorted.end()) == sorted.end();
    }

    bool take(std::string_view expected) {
        if (!text_.substr(at_).starts_with(expected)) return false;
        at_ += expected.size();
        return true;
    }

    void skipBlanks() { at_ = std::min(text_.find_first_not_of(" \t\r\n", at_), text_.size()); }

    // A key's or string's text up to its closing tag, with the writer's three escapes decoded.
    bool text(std::string_view close, std::string& decoded) {
        for (;;) {
            std::size_t end = std::min(text_.find_first_of("<>&", at_), text_.size());
            decoded.append(text_.substr(at_, end - at_));
            at_ = end;
            if (take("&lt;")) {
                decoded += '<';
            } else if (take("&gt;")) {
                decoded += '>';
            } else if (take("&amp;")) {
                decoded += '&';
            } else {
                return take(close);
            }
        }
    }

    // A number's, date's or data's text, nothing but the value up to its closing tag.
    bool scalar(std::string_view close, bool (*valid)(std::string_view)) {
        std::size_t end = std::min(text_.find('<', at_), text_.size());
        std::string_view content = text_.substr(at_, end - at_);
        at_ = end;
        return valid(content) && take(close);
    }

    std::string_view text_;
    std::size_t at_ = 0;
    CoreFoundationTableWork coreFoundation_;
};

}  // namespace

bool xmlPropertyListFollowsRules(std::string_view bytes) { return XmlWalk(bytes).follows(); }

}  // namespace gatewarden
