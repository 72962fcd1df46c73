// Outlines, link annotations and named destinations: reading and writing.
#include <cmath>
#include <cstring>
#include <functional>
#include <set>

#include "platform/SysLog.h"
#include "platform/pdf/PdfDocument.h"
#include "platform/pdf/PdfInternal.h"
#include "platform/pdf/PdfNavigationInternal.h"

namespace cvl {

using namespace pdf;

namespace pdf {

std::string pdfText(pdf_obj* textObj) {
    if (!textObj) return "";
    const char* s = mu([&](fz_context* c) { return pdf_to_text_string(c, textObj); });
    return s ? std::string(s) : std::string();
}

pdf_obj* newTextString(pdf_document*, const std::string& utf8) {
    return mu([&](fz_context* c) { return pdf_new_text_string(c, utf8.c_str()); });
}

namespace {

// Leaves of the page tree in order, walking each node once.
void collectPages(pdf_obj* node, std::vector<pdf_obj*>& out, std::unordered_map<int, int>& seen,
                  int depth) {
    if (!node || depth > 64) return;
    int num = mu([&](fz_context* c) { return pdf_to_num(c, node); });
    if (num > 0 && !seen.emplace(num, 0).second) return;  // a loop in a damaged tree
    pdf_obj* kids = mu([&](fz_context* c) { return pdf_dict_get(c, node, PDF_NAME(Kids)); });
    bool isPages = mu([&](fz_context* c) { return pdf_is_array(c, kids); });
    if (!isPages) {
        out.push_back(node);
        return;
    }
    int n = mu([&](fz_context* c) { return pdf_array_len(c, kids); });
    for (int i = 0; i < n; ++i)
        collectPages(mu([&](fz_context* c) { return pdf_array_get(c, kids, i); }), out, seen,
                     depth + 1);
}

}  // namespace

PageIndex::PageIndex(pdf_document* doc) {
    int n = mu([&](fz_context* c) { return pdf_count_pages(c, doc); });
    pdf_obj* root =
        mu([&](fz_context* c) { return pdf_dict_getp(c, pdf_trailer(c, doc), "Root/Pages"); });
    std::unordered_map<int, int> seen;
    collectPages(root, pages, seen, 0);
    if (int(pages.size()) != n) {
        // The tree does not match its counts; ask MuPDF page by page instead.
        pages.clear();
        for (int i = 0; i < n; ++i)
            pages.push_back(mu([&](fz_context* c) { return pdf_lookup_page_obj(c, doc, i); }));
    }
    for (int i = 0; i < int(pages.size()); ++i) {
        int num = mu([&](fz_context* c) { return pdf_to_num(c, pages[size_t(i)]); });
        if (num > 0) byNum.emplace(num, i);
    }
}

int PageIndex::indexOf(pdf_obj* page) const {
    if (!page) return -1;
    int num = mu([&](fz_context* c) { return pdf_to_num(c, page); });
    auto it = byNum.find(num);
    return it == byNum.end() ? -1 : it->second;
}

// A named destination's value: an array, or a dictionary holding it under /D.
pdf_obj* resolveNamed(pdf_document* doc, pdf_obj* dest) {
    for (int depth = 0; dest && depth < 4; ++depth) {
        bool named =
            mu([&](fz_context* c) { return pdf_is_name(c, dest) || pdf_is_string(c, dest); });
        bool dict = mu([&](fz_context* c) { return pdf_is_dict(c, dest); });
        if (named)
            dest = mu([&](fz_context* c) { return pdf_lookup_dest(c, doc, dest); });
        else if (dict)
            dest = mu([&](fz_context* c) { return pdf_dict_get(c, dest, PDF_NAME(D)); });
        else
            return dest;
    }
    return dest;
}

pdf_obj* targetOf(pdf_obj* dict) {
    return mu([&](fz_context* c) -> pdf_obj* {
        pdf_obj* dest = pdf_dict_get(c, dict, PDF_NAME(Dest));
        if (dest) return dest;
        pdf_obj* action = pdf_dict_get(c, dict, PDF_NAME(A));
        if (action && pdf_name_eq(c, pdf_dict_get(c, action, PDF_NAME(S)), PDF_NAME(GoTo)))
            return pdf_dict_get(c, action, PDF_NAME(D));
        return nullptr;
    });
}

pdf_obj* destinationPage(pdf_document* doc, pdf_obj* dest) {
    pdf_obj* array = resolveNamed(doc, dest);
    if (!array) return nullptr;
    return mu([&](fz_context* c) -> pdf_obj* {
        if (!pdf_is_array(c, array)) return nullptr;
        pdf_obj* first = pdf_array_get(c, array, 0);
        if (pdf_is_int(c, first)) {
            int n = pdf_to_int(c, first);
            if (n < 0 || n >= pdf_count_pages(c, doc)) return nullptr;
            return pdf_lookup_page_obj(c, doc, n);
        }
        return pdf_is_dict(c, first) ? first : nullptr;
    });
}

std::optional<PdfDestination> readDestination(pdf_document* doc, const PageIndex& index,
                                              pdf_obj* dest) {
    pdf_obj* array = resolveNamed(doc, dest);
    pdf_obj* page = destinationPage(doc, dest);
    if (!page) return std::nullopt;
    PdfDestination out;
    out.page = index.indexOf(page);
    mu([&](fz_context* c) {
        const char* kind = pdf_to_name(c, pdf_array_get(c, array, 1));
        pdf_obj* a2 = pdf_array_get(c, array, 2);
        pdf_obj* a3 = pdf_array_get(c, array, 3);
        pdf_obj* a4 = pdf_array_get(c, array, 4);
        if (!strcmp(kind, "XYZ")) {
            if (pdf_is_number(c, a2) || pdf_is_number(c, a3))
                out.point = PdfPoint{pdf_to_real(c, a2), pdf_to_real(c, a3)};
            out.zoom = pdf_is_number(c, a4) ? pdf_to_real(c, a4) : 0;
        } else if (!strcmp(kind, "FitH") || !strcmp(kind, "FitBH")) {
            if (pdf_is_number(c, a2)) out.point = PdfPoint{0, pdf_to_real(c, a2)};
        } else if (!strcmp(kind, "FitR")) {
            pdf_obj* a5 = pdf_array_get(c, array, 5);
            out.point = PdfPoint{pdf_to_real(c, a2), pdf_to_real(c, a5)};
        }
    });
    return out;
}

ObjPtr newDestinationArray(pdf_document* doc, pdf_obj* pageObj,
                           const std::optional<PdfPoint>& point, double zoom) {
    ObjPtr array(mu([&](fz_context* c) { return pdf_new_array(c, doc, 5); }));
    mu([&](fz_context* c) {
        pdf_array_push(c, array.get(), pageObj);
        if (point || zoom > 0) {
            pdf_array_push(c, array.get(), PDF_NAME(XYZ));
            if (point) {
                pdf_array_push_real(c, array.get(), point->x);
                pdf_array_push_real(c, array.get(), point->y);
            } else {
                pdf_array_push(c, array.get(), PDF_NULL);
                pdf_array_push(c, array.get(), PDF_NULL);
            }
            if (zoom > 0)
                pdf_array_push_real(c, array.get(), zoom);
            else
                pdf_array_push(c, array.get(), PDF_NULL);
        } else {
            pdf_array_push(c, array.get(), PDF_NAME(Fit));
        }
    });
    return array;
}

void forEachLink(pdf_document* doc, pdf_obj* pageObj,
                 const std::function<void(pdf_obj* annots, int i, pdf_obj* annot)>& visit) {
    (void)doc;
    pdf_obj* annots = mu([&](fz_context* c) { return pdf_dict_get(c, pageObj, PDF_NAME(Annots)); });
    int n = mu([&](fz_context* c) { return pdf_array_len(c, annots); });
    for (int i = n - 1; i >= 0; --i) {
        pdf_obj* annot = mu([&](fz_context* c) { return pdf_array_get(c, annots, i); });
        bool isLink = mu([&](fz_context* c) {
            return pdf_name_eq(c, pdf_dict_get(c, annot, PDF_NAME(Subtype)), PDF_NAME(Link));
        });
        if (isLink) visit(annots, i, annot);
    }
}

}  // namespace pdf

namespace {

// What one outline read may still visit: a crafted outline can loop (an item that is its own
// child or sibling) or fan out without end; each object is read once and the whole read has a
// budget, so a small file cannot hold the reader.
struct OutlineWalk {
    int left = 20000;
    std::set<int> seen;
    // Whether `node` may be read: budget left, and not an object read before in this walk.
    bool admit(pdf_obj* node) {
        if (left <= 0) return false;
        const int num = mu([&](fz_context* c) { return pdf_to_num(c, node); });
        if (num > 0 && !seen.insert(num).second) return false;
        --left;
        return true;
    }
};

PdfOutlineItem readOutlineItem(pdf_document* doc, const PageIndex& index, pdf_obj* node, int depth,
                               OutlineWalk& walk) {
    PdfOutlineItem item;
    item.title = pdfText(mu([&](fz_context* c) { return pdf_dict_get(c, node, PDF_NAME(Title)); }));
    item.open = mu([&](fz_context* c) { return pdf_dict_get_int(c, node, PDF_NAME(Count)); }) > 0;
    if (pdf_obj* dest = targetOf(node)) item.destination = readDestination(doc, index, dest);
    item.uri = mu([&](fz_context* c) -> const char* {
        pdf_obj* action = pdf_dict_get(c, node, PDF_NAME(A));
        if (!pdf_name_eq(c, pdf_dict_get(c, action, PDF_NAME(S)), PDF_NAME(URI))) return "";
        return pdf_to_str_buf(c, pdf_dict_get(c, action, PDF_NAME(URI)));
    });
    if (depth < 64) {
        pdf_obj* child = mu([&](fz_context* c) { return pdf_dict_get(c, node, PDF_NAME(First)); });
        for (; child && walk.admit(child);) {
            item.children.push_back(readOutlineItem(doc, index, child, depth + 1, walk));
            child = mu([&](fz_context* c) { return pdf_dict_get(c, child, PDF_NAME(Next)); });
        }
    }
    return item;
}

// Writes the items as children of `parent`; returns the number of entries visible under it when
// it is open.
int writeOutlineChildren(pdf_document* doc, const PageIndex& index, pdf_obj* parent,
                         const std::vector<PdfOutlineItem>& items) {
    pdf_obj* prev = nullptr;
    int visible = 0;
    for (const auto& item : items) {
        ObjPtr node(mu([&](fz_context* c) { return pdf_add_new_dict(c, doc, 6); }));
        ObjPtr title(newTextString(doc, item.title));
        mu([&](fz_context* c) {
            pdf_dict_put(c, node.get(), PDF_NAME(Title), title.get());
            pdf_dict_put(c, node.get(), PDF_NAME(Parent), parent);
        });
        if (item.destination && item.destination->page >= 0 &&
            item.destination->page < int(index.pages.size())) {
            ObjPtr dest = newDestinationArray(doc, index.pages[size_t(item.destination->page)],
                                              item.destination->point, item.destination->zoom);
            mu([&](fz_context* c) { pdf_dict_put(c, node.get(), PDF_NAME(Dest), dest.get()); });
        } else if (!item.uri.empty()) {
            mu([&](fz_context* c) {
                pdf_obj* action = pdf_dict_put_dict(c, node.get(), PDF_NAME(A), 2);
                pdf_dict_put(c, action, PDF_NAME(S), PDF_NAME(URI));
                pdf_dict_put_string(c, action, PDF_NAME(URI), item.uri.c_str(), item.uri.size());
            });
        }
        int below = writeOutlineChildren(doc, index, node.get(), item.children);
        if (!item.children.empty())
            mu([&](fz_context* c) {
                pdf_dict_put_int(c, node.get(), PDF_NAME(Count),
                                 item.open ? below : -int(item.children.size()));
            });
        mu([&](fz_context* c) {
            if (prev) {
                pdf_dict_put(c, prev, PDF_NAME(Next), node.get());
                pdf_dict_put(c, node.get(), PDF_NAME(Prev), prev);
            } else {
                pdf_dict_put(c, parent, PDF_NAME(First), node.get());
            }
            pdf_dict_put(c, parent, PDF_NAME(Last), node.get());
        });
        prev = node.get();
        visible += 1 + (item.open ? below : 0);
    }
    return visible;
}

// A link annotation without a border; `fill` adds its target.
bool addLinkDict(PdfDocument::Impl& impl, int page, const PdfRect& rect,
                 const std::function<void(pdf_document*, pdf_obj*)>& fill) {
    return addPageAnnotation(
        impl, page, "Link", rect, "a link", [&](pdf_document* doc, pdf_obj*, pdf_obj* annot) {
            mu([&](fz_context* c) {
                pdf_obj* border = pdf_dict_put_array(c, annot, PDF_NAME(Border), 3);
                for (int k = 0; k < 3; ++k) pdf_array_push_int(c, border, 0);
            });
            fill(doc, annot);
        });
}

}  // namespace

std::vector<PdfOutlineItem> PdfDocument::outline() const {
    std::vector<PdfOutlineItem> out;
    if (!impl_->doc) return out;
    std::lock_guard guard(impl_->lock);
    if (impl_->locked) return out;
    try {
        pdf_document* doc = impl_->doc.get();
        PageIndex index(doc);
        pdf_obj* child = mu([&](fz_context* c) {
            return pdf_dict_getp(c, pdf_trailer(c, doc), "Root/Outlines/First");
        });
        OutlineWalk walk;
        for (; child && walk.admit(child);) {
            out.push_back(readOutlineItem(doc, index, child, 0, walk));
            child = mu([&](fz_context* c) { return pdf_dict_get(c, child, PDF_NAME(Next)); });
        }
    } catch (const std::exception& e) {
        cvlLog("pdf: cannot read the outline: %s", e.what());
        out.clear();
    }
    return out;
}

std::vector<PdfLink> PdfDocument::links(int page) const {
    std::vector<PdfLink> out;
    if (!impl_->doc) return out;
    std::lock_guard guard(impl_->lock);
    if (impl_->locked) return out;
    try {
        pdf_document* doc = impl_->doc.get();
        PageIndex index(doc);
        if (page < 0 || page >= int(index.pages.size())) return out;
        forEachLink(doc, index.pages[size_t(page)], [&](pdf_obj*, int, pdf_obj* annot) {
            PdfLink link;
            link.rect = fromFz(mu([&](fz_context* c) {
                return pdf_to_rect(c, pdf_dict_get(c, annot, PDF_NAME(Rect)));
            }));
            if (pdf_obj* dest = targetOf(annot)) {
                link.destination = readDestination(doc, index, dest);
                link.namedDestination = mu([&](fz_context* c) -> const char* {
                    if (pdf_is_name(c, dest)) return pdf_to_name(c, dest);
                    if (pdf_is_string(c, dest)) return pdf_to_str_buf(c, dest);
                    return "";
                });
            }
            link.uri = mu([&](fz_context* c) -> const char* {
                pdf_obj* action = pdf_dict_get(c, annot, PDF_NAME(A));
                if (!pdf_name_eq(c, pdf_dict_get(c, action, PDF_NAME(S)), PDF_NAME(URI))) return "";
                return pdf_to_str_buf(c, pdf_dict_get(c, action, PDF_NAME(URI)));
            });
            out.insert(out.begin(), link);  // visited last to first
        });
    } catch (const std::exception& e) {
        cvlLog("pdf: cannot read the links of page %d: %s", page + 1, e.what());
        out.clear();
    }
    return out;
}

std::optional<PdfDestination> PdfDocument::namedDestination(const std::string& name) const {
    if (!impl_->doc) return std::nullopt;
    std::lock_guard guard(impl_->lock);
    if (impl_->locked) return std::nullopt;
    try {
        pdf_document* doc = impl_->doc.get();
        PageIndex index(doc);
        ObjPtr key(mu([&](fz_context* c) { return pdf_new_string(c, name.c_str(), name.size()); }));
        return readDestination(doc, index, key.get());
    } catch (...) {
        return std::nullopt;
    }
}

bool PdfDocument::setOutline(const std::vector<PdfOutlineItem>& items) {
    if (!impl_->doc) return false;
    std::lock_guard guard(impl_->lock);
    if (impl_->locked) return false;
    try {
        pdf_document* doc = impl_->doc.get();
        PageIndex index(doc);
        pdf_obj* root =
            mu([&](fz_context* c) { return pdf_dict_get(c, pdf_trailer(c, doc), PDF_NAME(Root)); });
        if (items.empty()) {
            mu([&](fz_context* c) { pdf_dict_del(c, root, PDF_NAME(Outlines)); });
            return true;
        }
        ObjPtr outlines(mu([&](fz_context* c) { return pdf_add_new_dict(c, doc, 4); }));
        mu([&](fz_context* c) {
            pdf_dict_put(c, outlines.get(), PDF_NAME(Type), PDF_NAME(Outlines));
        });
        int visible = writeOutlineChildren(doc, index, outlines.get(), items);
        mu([&](fz_context* c) {
            pdf_dict_put_int(c, outlines.get(), PDF_NAME(Count), visible);
            pdf_dict_put(c, root, PDF_NAME(Outlines), outlines.get());
        });
        return true;
    } catch (const std::exception& e) {
        cvlLog("pdf: cannot write the outline: %s", e.what());
        return false;
    }
}

bool PdfDocument::addLink(int page, const PdfRect& rect, const PdfDestination& target) {
    return addLinkDict(*impl_, page, rect, [&](pdf_document* doc, pdf_obj* annot) {
        int n = mu([&](fz_context* c) { return pdf_count_pages(c, doc); });
        if (target.page < 0 || target.page >= n) throw MuError("link target is not a page");
        pdf_obj* pageObj =
            mu([&](fz_context* c) { return pdf_lookup_page_obj(c, doc, target.page); });
        ObjPtr dest = newDestinationArray(doc, pageObj, target.point, target.zoom);
        mu([&](fz_context* c) { pdf_dict_put(c, annot, PDF_NAME(Dest), dest.get()); });
    });
}

bool PdfDocument::addNamedLink(int page, const PdfRect& rect, const std::string& name,
                               bool viaAction) {
    return addLinkDict(*impl_, page, rect, [&](pdf_document*, pdf_obj* annot) {
        mu([&](fz_context* c) {
            if (viaAction) {
                pdf_obj* action = pdf_dict_put_dict(c, annot, PDF_NAME(A), 2);
                pdf_dict_put(c, action, PDF_NAME(S), PDF_NAME(GoTo));
                pdf_dict_put_string(c, action, PDF_NAME(D), name.c_str(), name.size());
            } else {
                pdf_dict_put_string(c, annot, PDF_NAME(Dest), name.c_str(), name.size());
            }
        });
    });
}

bool PdfDocument::addUriLink(int page, const PdfRect& rect, const std::string& uri) {
    return addLinkDict(*impl_, page, rect, [&](pdf_document*, pdf_obj* annot) {
        mu([&](fz_context* c) {
            pdf_obj* action = pdf_dict_put_dict(c, annot, PDF_NAME(A), 2);
            pdf_dict_put(c, action, PDF_NAME(S), PDF_NAME(URI));
            pdf_dict_put_string(c, action, PDF_NAME(URI), uri.c_str(), uri.size());
        });
    });
}

bool PdfDocument::addNamedDestination(const std::string& name, const PdfDestination& target) {
    if (!impl_->doc) return false;
    std::lock_guard guard(impl_->lock);
    if (impl_->locked) return false;
    try {
        pdf_document* doc = impl_->doc.get();
        int n = mu([&](fz_context* c) { return pdf_count_pages(c, doc); });
        if (target.page < 0 || target.page >= n) return false;
        pdf_obj* pageObj =
            mu([&](fz_context* c) { return pdf_lookup_page_obj(c, doc, target.page); });
        ObjPtr dest = newDestinationArray(doc, pageObj, target.point, target.zoom);
        mu([&](fz_context* c) {
            pdf_obj* root = pdf_dict_get(c, pdf_trailer(c, doc), PDF_NAME(Root));
            pdf_obj* names = pdf_dict_get(c, root, PDF_NAME(Names));
            if (!names) names = pdf_dict_put_dict(c, root, PDF_NAME(Names), 1);
            pdf_obj* dests = pdf_dict_get(c, names, PDF_NAME(Dests));
            if (!dests) dests = pdf_dict_put_dict(c, names, PDF_NAME(Dests), 1);
            pdf_obj* leaf = pdf_dict_get(c, dests, PDF_NAME(Names));
            if (!leaf) {
                if (pdf_dict_get(c, dests, PDF_NAME(Kids))) {
                    // A deep name tree: use the catalog's simple /Dests dictionary instead.
                    pdf_obj* simple = pdf_dict_get(c, root, PDF_NAME(Dests));
                    if (!simple) simple = pdf_dict_put_dict(c, root, PDF_NAME(Dests), 1);
                    pdf_dict_puts(c, simple, name.c_str(), dest.get());
                    return;
                }
                leaf = pdf_dict_put_array(c, dests, PDF_NAME(Names), 2);
            }
            // Keep the leaf sorted by name.
            int len = pdf_array_len(c, leaf);
            int at = len;
            for (int i = 0; i + 1 < len; i += 2) {
                if (strcmp(pdf_to_str_buf(c, pdf_array_get(c, leaf, i)), name.c_str()) > 0) {
                    at = i;
                    break;
                }
            }
            pdf_array_insert_drop(c, leaf, pdf_new_string(c, name.c_str(), name.size()), at);
            pdf_array_insert(c, leaf, dest.get(), at + 1);
        });
        return true;
    } catch (const std::exception& e) {
        cvlLog("pdf: cannot add a named destination: %s", e.what());
        return false;
    }
}

}  // namespace cvl
