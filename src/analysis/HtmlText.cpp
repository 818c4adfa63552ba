#include "analysis/HtmlText.h"

#include <algorithm>
#include <memory>
#include <utility>
#include <vector>

#include <gumbo.h>

namespace lumi {

namespace {

constexpr std::string_view Separator = "; ";

// Where a block ends, the text of the next one is set off from it.
bool endsASegment(GumboTag tag) {
    switch (tag) {
    case GUMBO_TAG_BR:
    case GUMBO_TAG_LI:
    case GUMBO_TAG_TD:
    case GUMBO_TAG_TH:
    case GUMBO_TAG_TR:
    case GUMBO_TAG_P:
    case GUMBO_TAG_DIV:
    case GUMBO_TAG_UL:
    case GUMBO_TAG_OL:
    case GUMBO_TAG_DL:
    case GUMBO_TAG_DT:
    case GUMBO_TAG_DD:
    case GUMBO_TAG_TABLE:
    case GUMBO_TAG_H1:
    case GUMBO_TAG_H2:
    case GUMBO_TAG_H3:
    case GUMBO_TAG_H4:
    case GUMBO_TAG_H5:
    case GUMBO_TAG_H6:
    case GUMBO_TAG_BLOCKQUOTE:
    case GUMBO_TAG_PRE:
    case GUMBO_TAG_ADDRESS:
    case GUMBO_TAG_SECTION:
    case GUMBO_TAG_ARTICLE:
    case GUMBO_TAG_HR:
    case GUMBO_TAG_CAPTION:
    case GUMBO_TAG_FIGCAPTION:
        return true;
    default:
        return false;
    }
}

// Collects text with blanks collapsed; a separator is only written between two pieces of
// text, never first, last or twice.
class TextCollector {
public:
    void text(std::string_view piece) {
        for (const char c : piece) {
            // U+00A0 arrives as C2 A0: taken as a blank.
            if (c == '\xc2') {
                pendingC2_ = true;
                continue;
            }
            if (pendingC2_) {
                pendingC2_ = false;
                if (c == '\xa0') {
                    blank_ = true;
                    continue;
                }
                put('\xc2');
            }
            if (static_cast<unsigned char>(c) <= ' ') {
                blank_ = true;
                continue;
            }
            put(c);
        }
        if (pendingC2_) {
            pendingC2_ = false;
            put('\xc2');
        }
    }
    void segmentEnd() { separate_ = !out_.empty(); }
    std::string take() { return std::move(out_); }

private:
    void put(char c) {
        if (separate_) {
            out_ += Separator;
            separate_ = blank_ = false;
        } else if (blank_ && !out_.empty()) {
            out_ += ' ';
        }
        blank_ = false;
        out_ += c;
    }
    std::string out_;
    bool blank_ = false;
    bool separate_ = false;
    bool pendingC2_ = false;
};

// Depth-first over the tree without recursion: hostile nesting cannot exhaust the stack.
void collect(const GumboNode* root, TextCollector& out, std::string* firstLink) {
    struct Step {
        const GumboNode* node;
        unsigned next; // child to visit next
    };
    std::vector<Step> stack{{root, 0}};
    while (!stack.empty()) {
        Step& step = stack.back();
        const GumboNode* node = step.node;
        if (node->type == GUMBO_NODE_TEXT || node->type == GUMBO_NODE_WHITESPACE ||
            node->type == GUMBO_NODE_CDATA) {
            out.text(node->v.text.text);
            stack.pop_back();
            continue;
        }
        if (node->type != GUMBO_NODE_ELEMENT && node->type != GUMBO_NODE_DOCUMENT &&
            node->type != GUMBO_NODE_TEMPLATE) {
            stack.pop_back();
            continue;
        }
        const GumboVector& children = node->type == GUMBO_NODE_DOCUMENT ? node->v.document.children
                                                                        : node->v.element.children;
        if (step.next == 0 && node->type == GUMBO_NODE_ELEMENT) {
            const GumboTag tag = node->v.element.tag;
            if (tag == GUMBO_TAG_SCRIPT || tag == GUMBO_TAG_STYLE) {
                stack.pop_back();
                continue;
            }
            if (tag == GUMBO_TAG_A && firstLink && firstLink->empty())
                if (const GumboAttribute* href =
                        gumbo_get_attribute(&node->v.element.attributes, "href"))
                    *firstLink = href->value;
        }
        if (step.next < children.length) {
            const auto* child = static_cast<const GumboNode*>(children.data[step.next++]);
            stack.push_back({child, 0});
            continue;
        }
        if (node->type == GUMBO_NODE_ELEMENT && endsASegment(node->v.element.tag)) out.segmentEnd();
        stack.pop_back();
    }
}

std::string parsedText(std::string_view source, GumboTag context, std::string* firstLink) {
    // Most fields are plain ASCII without markup or references: the parser would give back the
    // same text, so it is spared (an answer holds thousands of fields).
    const bool plain = std::all_of(source.begin(), source.end(), [](char c) {
        const auto byte = static_cast<unsigned char>(c);
        return byte != 0 && byte < 0x80 && c != '<' && c != '&';
    });
    if (plain) {
        if (firstLink) firstLink->clear();
        TextCollector text;
        text.text(source);
        return text.take();
    }
    GumboOptions options = kGumboDefaultOptions;
    options.fragment_context = context;
    options.fragment_namespace = GUMBO_NAMESPACE_HTML;
    options.max_errors = 0; // the errors are not read
    const std::unique_ptr<GumboOutput, void (*)(GumboOutput*)> output(
        gumbo_parse_with_options(&options, source.data(), source.size()),
        [](GumboOutput* o) { gumbo_destroy_output(&kGumboDefaultOptions, o); });
    TextCollector text;
    if (firstLink) firstLink->clear();
    if (output) collect(output->root, text, firstLink);
    return text.take();
}

} // namespace

std::string htmlFieldText(std::string_view html, std::string* firstLink) {
    return parsedText(html, GUMBO_TAG_DIV, firstLink);
}

// A textarea's content is read as text: references are decoded, tags are not.
std::string plainFieldText(std::string_view text) {
    return parsedText(text, GUMBO_TAG_TEXTAREA, nullptr);
}

} // namespace lumi
