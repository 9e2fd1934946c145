// What the styled text tests share: node trees and frame trees written out as one line, and
// markup parsed into a text.
#pragma once

#include <string>

#include "Foundation/NSArray.h"
#include "Foundation/NSString.h"
#include "UIKit/UIColor.h"
#include "UIKit/UIFont.h"
#include "UIKit/UIImage.h"
#include "ui/core/DZStyle.h"
#include "ui/style/DZStyledFrame.h"
#include "ui/style/DZStyledNode.h"
#include "ui/style/DZStyledText.h"

// Each node of a sibling chain: text as "'...'", elements as "kind[children]" with ".class",
// links and images with their URL.
inline std::string treeOf(DZStyledNode* first) {
    std::string out;
    for (Ref<DZStyledNode> node = first; node; node = node->nextSibling()) {
        if (!out.empty()) out += " ";
        if (auto text = as<DZStyledTextNode>(node)) {
            out += "'" + (text->text() ? text->text()->utf8() : std::string("<nil>")) + "'";
            continue;
        }
        auto element = cast<DZStyledElement>(node);
        std::string kind = "element";
        if (is<DZStyledLineBreakNode>(node))
            kind = "br";
        else if (is<DZStyledBoldNode>(node))
            kind = "b";
        else if (is<DZStyledItalicNode>(node))
            kind = "i";
        else if (auto link = as<DZStyledLinkNode>(node))
            kind = "a(" + (link->URL() ? link->URL()->utf8() : std::string()) + ")";
        else if (auto button = as<DZStyledButtonNode>(node))
            kind = "button(" + (button->URL() ? button->URL()->utf8() : std::string()) + ")";
        else if (auto image = as<DZStyledImageNode>(node))
            kind = "img(" + (image->URL() ? image->URL()->utf8() : std::string()) + ")";
        else if (is<DZStyledBlock>(node))
            kind = "block";
        else if (is<DZStyledInline>(node))
            kind = "span";
        if (auto name = element->className()) kind += "." + name->utf8();
        out += kind + "[" + treeOf(element->firstChild()) + "]";
    }
    return out;
}

inline std::string treeOf(DZStyledText* text) {
    return text ? treeOf(text->rootNode()) : "<nil>";
}

inline Ref<DZStyledText> markup(const char* source) {
    return DZStyledText::textFromXHTML(NSString::fromUTF8(source));
}

inline std::string num(CGFloat v) {
    char buf[32];
    snprintf(buf, sizeof buf, "%g", static_cast<double>(v));
    return buf;
}

inline std::string boundsOf(DZStyledFrame* f) {
    return "(" + num(f->x()) + "," + num(f->y()) + " " + num(f->width()) + "x" + num(f->height()) +
           ")";
}

// Each frame of a chain: text frames as "'text'(x,y wxh)", boxes as "box(...)[children]",
// inline pieces as "inline(...)[...]", images as "img(...)".
inline std::string framesOf(DZStyledFrame* first) {
    std::string out;
    for (Ref<DZStyledFrame> f = first; f; f = f->nextFrame()) {
        if (!out.empty()) out += " ";
        if (auto text = as<DZStyledTextFrame>(f)) {
            out += "'" + text->text()->utf8() + "'" + boundsOf(f);
        } else if (auto box = as<DZStyledBoxFrame>(f)) {
            out += std::string(is<DZStyledInlineFrame>(f) ? "inline" : "box") + boundsOf(f) + "[" +
                   framesOf(box->firstChildFrame()) + "]";
        } else {
            out += "img" + boundsOf(f);
        }
    }
    return out;
}
