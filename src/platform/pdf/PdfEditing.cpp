// Page order, copies across documents, and keeping outlines, links and named destinations
// pointing at pages that exist.
#include <algorithm>
#include <set>

#include "platform/SysLog.h"
#include "platform/pdf/PdfDocument.h"
#include "platform/pdf/PdfInternal.h"
#include "platform/pdf/PdfNavigationInternal.h"

namespace cvl {

using namespace pdf;

namespace {

pdf_obj* catalog(pdf_document* doc) {
    return mu([&](fz_context* c) { return pdf_dict_get(c, pdf_trailer(c, doc), PDF_NAME(Root)); });
}

pdf_obj* get(pdf_obj* dict, pdf_obj* key) {
    return mu([&](fz_context* c) { return pdf_dict_get(c, dict, key); });
}

// Makes the page tree one flat node holding `pages` in order. Inherited attributes are copied
// into each page first, so that nothing depends on the old intermediate nodes.
void setPageList(pdf_document* doc, const std::vector<pdf_obj*>& pages) {
    pdf_obj* root =
        mu([&](fz_context* c) { return pdf_dict_getp(c, pdf_trailer(c, doc), "Root/Pages"); });
    for (pdf_obj* page : pages)
        mu([&](fz_context* c) { pdf_flatten_inheritable_page_items(c, page); });
    ObjPtr kids(mu([&](fz_context* c) { return pdf_new_array(c, doc, int(pages.size())); }));
    for (pdf_obj* page : pages)
        mu([&](fz_context* c) {
            pdf_array_push(c, kids.get(), page);
            pdf_dict_put(c, page, PDF_NAME(Parent), root);
        });
    mu([&](fz_context* c) {
        pdf_dict_put(c, root, PDF_NAME(Kids), kids.get());
        pdf_dict_put_int(c, root, PDF_NAME(Count), int64_t(pages.size()));
        // Attributes on the root would now be inherited by pages that had their own.
        pdf_dict_del(c, root, PDF_NAME(Resources));
        pdf_dict_del(c, root, PDF_NAME(MediaBox));
        pdf_dict_del(c, root, PDF_NAME(CropBox));
        pdf_dict_del(c, root, PDF_NAME(Rotate));
    });
}

// A second page object showing the same content, with its own copies of the annotations.
pdf_obj* copyPage(pdf_document* doc, pdf_obj* page) {
    mu([&](fz_context* c) { pdf_flatten_inheritable_page_items(c, page); });
    ObjPtr copy(mu([&](fz_context* c) { return pdf_copy_dict(c, page); }));
    pdf_obj* ref = mu([&](fz_context* c) { return pdf_add_object(c, doc, copy.get()); });
    ObjPtr owned(ref);
    pdf_obj* annots = get(page, PDF_NAME(Annots));
    int n = mu([&](fz_context* c) { return pdf_array_len(c, annots); });
    if (n > 0) {
        ObjPtr fresh(mu([&](fz_context* c) { return pdf_new_array(c, doc, n); }));
        for (int i = 0; i < n; ++i) {
            pdf_obj* annot = mu([&](fz_context* c) { return pdf_array_get(c, annots, i); });
            ObjPtr dup(mu([&](fz_context* c) { return pdf_copy_dict(c, annot); }));
            mu([&](fz_context* c) {
                pdf_dict_del(c, dup.get(), PDF_NAME(Popup));
                pdf_dict_put(c, dup.get(), PDF_NAME(P), ref);
                pdf_array_push_drop(c, fresh.get(), pdf_add_object(c, doc, dup.get()));
            });
        }
        mu([&](fz_context* c) { pdf_dict_put(c, ref, PDF_NAME(Annots), fresh.get()); });
    }
    return owned.release();
}

// ---- pruning ----

bool isGoToAction(pdf_obj* action) {
    return mu([&](fz_context* c) {
        return pdf_name_eq(c, pdf_dict_get(c, action, PDF_NAME(S)), PDF_NAME(GoTo));
    });
}

bool pointsInside(pdf_document* doc, const PageIndex& index, pdf_obj* dest) {
    pdf_obj* page = destinationPage(doc, dest);
    return page && index.indexOf(page) >= 0;
}

void unlinkOutline(pdf_obj* parent, pdf_obj* node) {
    mu([&](fz_context* c) {
        pdf_obj* prev = pdf_dict_get(c, node, PDF_NAME(Prev));
        pdf_obj* next = pdf_dict_get(c, node, PDF_NAME(Next));
        if (prev) {
            if (next)
                pdf_dict_put(c, prev, PDF_NAME(Next), next);
            else
                pdf_dict_del(c, prev, PDF_NAME(Next));
        } else {
            if (next)
                pdf_dict_put(c, parent, PDF_NAME(First), next);
            else
                pdf_dict_del(c, parent, PDF_NAME(First));
        }
        if (next) {
            if (prev)
                pdf_dict_put(c, next, PDF_NAME(Prev), prev);
            else
                pdf_dict_del(c, next, PDF_NAME(Prev));
        } else {
            if (prev)
                pdf_dict_put(c, parent, PDF_NAME(Last), prev);
            else
                pdf_dict_del(c, parent, PDF_NAME(Last));
        }
    });
}

std::vector<pdf_obj*> outlineChildren(pdf_obj* node) {
    std::vector<pdf_obj*> out;
    std::set<int> seen;
    for (pdf_obj* child = get(node, PDF_NAME(First)); child; child = get(child, PDF_NAME(Next))) {
        int num = mu([&](fz_context* c) { return pdf_to_num(c, child); });
        if (num > 0 && !seen.insert(num).second) break;  // a looping chain
        out.push_back(child);
        if (out.size() > 100000) break;
    }
    return out;
}

// Children before parents, each level from its last child to its first.
int pruneOutlineLevel(pdf_document* doc, const PageIndex& index, pdf_obj* parent, int depth) {
    int changed = 0;
    auto children = outlineChildren(parent);
    for (auto it = children.rbegin(); it != children.rend(); ++it) {
        pdf_obj* child = *it;
        if (depth < 64) changed += pruneOutlineLevel(doc, index, child, depth + 1);
        pdf_obj* target = targetOf(child);
        bool hasTarget = target != nullptr || get(child, PDF_NAME(Dest)) != nullptr;
        if (!hasTarget || pointsInside(doc, index, target)) continue;
        ++changed;
        if (get(child, PDF_NAME(First))) {
            mu([&](fz_context* c) {
                pdf_dict_del(c, child, PDF_NAME(Dest));
                pdf_dict_del(c, child, PDF_NAME(A));
            });
        } else {
            unlinkOutline(parent, child);
        }
    }
    return changed;
}

// Sets /Count on every entry from the current children and open states; returns the number of
// entries visible below `node` when it is open.
int fixOutlineCounts(pdf_obj* node, int depth) {
    int visible = 0;
    for (pdf_obj* child : outlineChildren(node)) {
        int below = depth < 64 ? fixOutlineCounts(child, depth + 1) : 0;
        bool open =
            mu([&](fz_context* c) { return pdf_dict_get_int(c, child, PDF_NAME(Count)); }) > 0;
        bool hasKids = get(child, PDF_NAME(First)) != nullptr;
        mu([&](fz_context* c) {
            if (hasKids)
                pdf_dict_put_int(c, child, PDF_NAME(Count), open ? below : -below);
            else
                pdf_dict_del(c, child, PDF_NAME(Count));
        });
        visible += 1 + (open && hasKids ? below : 0);
    }
    return visible;
}

void fixOutlineRoot(pdf_document* doc) {
    pdf_obj* outlines = get(catalog(doc), PDF_NAME(Outlines));
    if (!outlines) return;
    int visible = fixOutlineCounts(outlines, 0);
    mu([&](fz_context* c) { pdf_dict_put_int(c, outlines, PDF_NAME(Count), visible); });
}

int pruneNameTree(pdf_document* doc, const PageIndex& index, pdf_obj* node, int depth) {
    if (!node || depth > 32) return 0;
    int removed = 0;
    pdf_obj* names = get(node, PDF_NAME(Names));
    int n = mu([&](fz_context* c) { return pdf_array_len(c, names); });
    for (int i = (n / 2) * 2 - 2; i >= 0; i -= 2) {
        pdf_obj* value = mu([&](fz_context* c) { return pdf_array_get(c, names, i + 1); });
        if (pointsInside(doc, index, value)) continue;
        mu([&](fz_context* c) {
            pdf_array_delete(c, names, i + 1);
            pdf_array_delete(c, names, i);
        });
        ++removed;
    }
    pdf_obj* kids = get(node, PDF_NAME(Kids));
    int k = mu([&](fz_context* c) { return pdf_array_len(c, kids); });
    for (int i = 0; i < k; ++i)
        removed += pruneNameTree(
            doc, index, mu([&](fz_context* c) { return pdf_array_get(c, kids, i); }), depth + 1);
    return removed;
}

int pruneAll(pdf_document* doc) {
    PageIndex index(doc);
    int changed = 0;
    pdf_obj* root = catalog(doc);
    if (pdf_obj* outlines = get(root, PDF_NAME(Outlines))) {
        changed += pruneOutlineLevel(doc, index, outlines, 0);
        fixOutlineRoot(doc);
    }
    for (pdf_obj* page : index.pages)
        forEachLink(doc, page, [&](pdf_obj* annots, int i, pdf_obj* annot) {
            pdf_obj* target = targetOf(annot);
            if (!target && !get(annot, PDF_NAME(Dest))) return;
            if (pointsInside(doc, index, target)) return;
            mu([&](fz_context* c) { pdf_array_delete(c, annots, i); });
            ++changed;
        });
    changed += pruneNameTree(
        doc, index, mu([&](fz_context* c) { return pdf_dict_getp(c, root, "Names/Dests"); }), 0);
    if (pdf_obj* dests = get(root, PDF_NAME(Dests))) {
        int n = mu([&](fz_context* c) { return pdf_dict_len(c, dests); });
        for (int i = n - 1; i >= 0; --i) {
            pdf_obj* value = mu([&](fz_context* c) { return pdf_dict_get_val(c, dests, i); });
            if (pointsInside(doc, index, value)) continue;
            pdf_obj* key = mu([&](fz_context* c) { return pdf_dict_get_key(c, dests, i); });
            mu([&](fz_context* c) { pdf_dict_del(c, dests, key); });
            ++changed;
        }
    }
    pdf_obj* open = mu([&](fz_context* c) { return pdf_dict_gets(c, root, "OpenAction"); });
    if (open) {
        pdf_obj* target = nullptr;
        if (mu([&](fz_context* c) { return pdf_is_array(c, open); }))
            target = open;
        else if (isGoToAction(open))
            target = get(open, PDF_NAME(D));
        if (target && !pointsInside(doc, index, target)) {
            mu([&](fz_context* c) { pdf_dict_dels(c, root, "OpenAction"); });
            ++changed;
        }
    }
    return changed;
}

// ---- copying from another document ----

// A destination array of `src` re-made in `dst` on `page`, keeping the view parameters.
ObjPtr mappedDestination(pdf_document* src, pdf_graft_map* graft, pdf_document* dst, pdf_obj* dest,
                         pdf_obj* page) {
    pdf_obj* array = resolveNamed(src, dest);
    ObjPtr out(mu([&](fz_context* c) { return pdf_new_array(c, dst, 6); }));
    mu([&](fz_context* c) { pdf_array_push(c, out.get(), page); });
    int n = mu([&](fz_context* c) { return pdf_is_array(c, array) ? pdf_array_len(c, array) : 0; });
    for (int i = 1; i < n; ++i)
        mu([&](fz_context* c) {
            pdf_array_push_drop(c, out.get(),
                                pdf_graft_mapped_object(c, graft, pdf_array_get(c, array, i)));
        });
    if (n < 2) mu([&](fz_context* c) { pdf_array_push(c, out.get(), PDF_NAME(Fit)); });
    return out;
}

// Copies every key of a dictionary except those naming other pages' objects.
ObjPtr copyDictExcept(pdf_graft_map* graft, pdf_document* dst, pdf_obj* dict,
                      std::initializer_list<pdf_obj*> skip) {
    ObjPtr out(mu([&](fz_context* c) { return pdf_new_dict(c, dst, 8); }));
    int n = mu([&](fz_context* c) { return pdf_dict_len(c, dict); });
    for (int i = 0; i < n; ++i) {
        pdf_obj* key = mu([&](fz_context* c) { return pdf_dict_get_key(c, dict, i); });
        bool skipped = false;
        for (pdf_obj* s : skip)
            if (mu([&](fz_context* c) { return pdf_name_eq(c, key, s); })) skipped = true;
        if (skipped) continue;
        mu([&](fz_context* c) {
            pdf_dict_put_drop(c, out.get(), key,
                              pdf_graft_mapped_object(c, graft, pdf_dict_get_val(c, dict, i)));
        });
    }
    return out;
}

// Puts the mapped target of `from` (an outline entry or link) into `to`, as a destination or a
// go-to action like the original; false when `from` has a page target that cannot be mapped.
bool putMappedTarget(pdf_document* src, const PageIndex& srcIndex, pdf_graft_map* graft,
                     pdf_document* dst, const std::vector<pdf_obj*>& copies, pdf_obj* from,
                     pdf_obj* to) {
    pdf_obj* target = targetOf(from);
    if (!target) return true;
    int k = srcIndex.indexOf(destinationPage(src, target));
    if (k < 0 || k >= int(copies.size()) || !copies[size_t(k)]) return false;
    ObjPtr dest = mappedDestination(src, graft, dst, target, copies[size_t(k)]);
    bool viaAction = get(from, PDF_NAME(Dest)) == nullptr;
    mu([&](fz_context* c) {
        if (viaAction) {
            pdf_obj* action = pdf_dict_put_dict(c, to, PDF_NAME(A), 2);
            pdf_dict_put(c, action, PDF_NAME(S), PDF_NAME(GoTo));
            pdf_dict_put(c, action, PDF_NAME(D), dest.get());
        } else {
            pdf_dict_put(c, to, PDF_NAME(Dest), dest.get());
        }
    });
    return true;
}

void copyAnnotations(pdf_document* src, const PageIndex& srcIndex, pdf_graft_map* graft,
                     pdf_document* dst, const std::vector<pdf_obj*>& copies, pdf_obj* srcPage,
                     pdf_obj* dstPage) {
    pdf_obj* annots = get(srcPage, PDF_NAME(Annots));
    int n = mu([&](fz_context* c) { return pdf_array_len(c, annots); });
    if (n == 0) return;
    ObjPtr fresh(mu([&](fz_context* c) { return pdf_new_array(c, dst, n); }));
    for (int i = 0; i < n; ++i) {
        pdf_obj* annot = mu([&](fz_context* c) { return pdf_array_get(c, annots, i); });
        if (!mu([&](fz_context* c) { return pdf_is_dict(c, annot); })) continue;
        bool isLink = mu([&](fz_context* c) {
            return pdf_name_eq(c, pdf_dict_get(c, annot, PDF_NAME(Subtype)), PDF_NAME(Link));
        });
        pdf_obj* action = get(annot, PDF_NAME(A));
        bool pageTarget = isLink && targetOf(annot) != nullptr;
        // Links to pages are rebuilt; other go-to actions would drag the other document's pages
        // along, so they are left out of the copy.
        ObjPtr copy = copyDictExcept(graft, dst, annot,
                                     {PDF_NAME(P), PDF_NAME(Popup), PDF_NAME(Parent), PDF_NAME(IRT),
                                      PDF_NAME(Dest), PDF_NAME(A), PDF_NAME(StructParent)});
        if (pageTarget) {
            if (!putMappedTarget(src, srcIndex, graft, dst, copies, annot, copy.get())) continue;
        } else if (action && !isGoToAction(action)) {
            mu([&](fz_context* c) {
                pdf_dict_put_drop(c, copy.get(), PDF_NAME(A),
                                  pdf_graft_mapped_object(c, graft, action));
            });
        } else if (isLink && get(annot, PDF_NAME(Dest))) {
            continue;  // a destination that leads nowhere
        }
        mu([&](fz_context* c) {
            pdf_dict_put(c, copy.get(), PDF_NAME(P), dstPage);
            pdf_array_push_drop(c, fresh.get(), pdf_add_object(c, dst, copy.get()));
        });
    }
    mu([&](fz_context* c) { pdf_dict_put(c, dstPage, PDF_NAME(Annots), fresh.get()); });
}

ObjPtr cloneOutline(pdf_document* src, const PageIndex& srcIndex, pdf_graft_map* graft,
                    pdf_document* dst, const std::vector<pdf_obj*>& copies, pdf_obj* item,
                    pdf_obj* parent, int depth) {
    // A leaf whose page was not copied is left out before anything is made for it.
    if (pdf_obj* target = targetOf(item); target && !get(item, PDF_NAME(First))) {
        int k = srcIndex.indexOf(destinationPage(src, target));
        if (k < 0 || k >= int(copies.size()) || !copies[size_t(k)]) return ObjPtr();
    }
    ObjPtr node(mu([&](fz_context* c) { return pdf_add_new_dict(c, dst, 8); }));
    mu([&](fz_context* c) {
        pdf_dict_put_drop(
            c, node.get(), PDF_NAME(Title),
            pdf_graft_mapped_object(c, graft, pdf_dict_get(c, item, PDF_NAME(Title))));
        pdf_dict_put(c, node.get(), PDF_NAME(Parent), parent);
        if (pdf_obj* color = pdf_dict_get(c, item, PDF_NAME(C)))
            pdf_dict_put_drop(c, node.get(), PDF_NAME(C), pdf_graft_mapped_object(c, graft, color));
        if (pdf_obj* flags = pdf_dict_get(c, item, PDF_NAME(F)))
            pdf_dict_put(c, node.get(), PDF_NAME(F), flags);
        if (pdf_obj* count = pdf_dict_get(c, item, PDF_NAME(Count)))
            pdf_dict_put(c, node.get(), PDF_NAME(Count), count);
    });
    pdf_obj* action = get(item, PDF_NAME(A));
    bool unmapped = false;
    if (targetOf(item)) {
        unmapped = !putMappedTarget(src, srcIndex, graft, dst, copies, item, node.get());
    } else if (action && !isGoToAction(action)) {
        mu([&](fz_context* c) {
            pdf_dict_put_drop(c, node.get(), PDF_NAME(A),
                              pdf_graft_mapped_object(c, graft, action));
        });
    }
    if (depth < 64) {
        pdf_obj* prev = nullptr;
        for (pdf_obj* child : outlineChildren(item)) {
            ObjPtr clone =
                cloneOutline(src, srcIndex, graft, dst, copies, child, node.get(), depth + 1);
            if (!clone) continue;
            mu([&](fz_context* c) {
                if (prev) {
                    pdf_dict_put(c, prev, PDF_NAME(Next), clone.get());
                    pdf_dict_put(c, clone.get(), PDF_NAME(Prev), prev);
                } else {
                    pdf_dict_put(c, node.get(), PDF_NAME(First), clone.get());
                }
                pdf_dict_put(c, node.get(), PDF_NAME(Last), clone.get());
            });
            prev = clone.get();
        }
    }
    // An entry whose page was not copied is left out, or kept as a heading for its children.
    if (unmapped && !get(node.get(), PDF_NAME(First))) return ObjPtr();
    return node;
}

void graftOutline(pdf_document* src, const PageIndex& srcIndex, pdf_graft_map* graft,
                  pdf_document* dst, const std::vector<pdf_obj*>& copies) {
    pdf_obj* srcOutlines = get(catalog(src), PDF_NAME(Outlines));
    auto top = srcOutlines ? outlineChildren(srcOutlines) : std::vector<pdf_obj*>{};
    if (top.empty()) return;
    pdf_obj* root = catalog(dst);
    pdf_obj* outlines = get(root, PDF_NAME(Outlines));
    if (!outlines) {
        ObjPtr made(mu([&](fz_context* c) { return pdf_add_new_dict(c, dst, 4); }));
        mu([&](fz_context* c) {
            pdf_dict_put(c, made.get(), PDF_NAME(Type), PDF_NAME(Outlines));
            pdf_dict_put(c, root, PDF_NAME(Outlines), made.get());
        });
        outlines = get(root, PDF_NAME(Outlines));
    }
    auto existing = outlineChildren(outlines);
    pdf_obj* prev = existing.empty() ? nullptr : existing.back();
    for (pdf_obj* item : top) {
        ObjPtr clone = cloneOutline(src, srcIndex, graft, dst, copies, item, outlines, 0);
        if (!clone) continue;
        mu([&](fz_context* c) {
            if (prev) {
                pdf_dict_put(c, prev, PDF_NAME(Next), clone.get());
                pdf_dict_put(c, clone.get(), PDF_NAME(Prev), prev);
            } else {
                pdf_dict_put(c, outlines, PDF_NAME(First), clone.get());
            }
            pdf_dict_put(c, outlines, PDF_NAME(Last), clone.get());
        });
        prev = clone.get();
    }
    fixOutlineRoot(dst);
}

}  // namespace

bool PdfDocument::arrangePages(const std::vector<int>& order) {
    if (!impl_->doc || order.empty()) return false;
    std::lock_guard guard(impl_->lock);
    if (impl_->locked) return false;
    try {
        pdf_document* doc = impl_->doc.get();
        PageIndex index(doc);
        int n = int(index.pages.size());
        for (int i : order)
            if (i < 0 || i >= n) return false;
        std::vector<bool> used(size_t(n), false);
        std::vector<pdf_obj*> pages;
        std::vector<ObjPtr> copies;
        for (int i : order) {
            if (!used[size_t(i)]) {
                used[size_t(i)] = true;
                pages.push_back(index.pages[size_t(i)]);
            } else {
                copies.emplace_back(copyPage(doc, index.pages[size_t(i)]));
                pages.push_back(copies.back().get());
            }
        }
        bool identity = int(order.size()) == n;
        for (int i = 0; identity && i < n; ++i) identity = order[size_t(i)] == i;
        setPageList(doc, pages);
        // Labels describe the old sequence of pages.
        if (!identity) {
            pdf_obj* root = catalog(doc);
            mu([&](fz_context* c) { pdf_dict_dels(c, root, "PageLabels"); });
        }
        return true;
    } catch (const std::exception& e) {
        cvlLog("pdf: cannot arrange pages: %s", e.what());
        return false;
    }
}

int PdfDocument::pruneNavigation() {
    if (!impl_->doc) return -1;
    std::lock_guard guard(impl_->lock);
    if (impl_->locked) return -1;
    try {
        return pruneAll(impl_->doc.get());
    } catch (const std::exception& e) {
        cvlLog("pdf: cannot prune navigation: %s", e.what());
        return -1;
    }
}

bool PdfDocument::insertPagesFrom(const PdfDocument& other, int at, const std::vector<int>& only) {
    if (!impl_->doc || !other.impl_->doc || impl_ == other.impl_) return false;
    std::scoped_lock guard(impl_->lock, other.impl_->lock);
    if (impl_->locked || other.impl_->locked) return false;
    try {
        pdf_document* dst = impl_->doc.get();
        pdf_document* src = other.impl_->doc.get();
        PageIndex srcIndex(src);
        if (srcIndex.pages.empty()) return false;
        GraftPtr graft(mu([&](fz_context* c) { return pdf_new_graft_map(c, dst); }));
        int count = int(srcIndex.pages.size());
        std::vector<int> chosen = only;
        if (chosen.empty())
            for (int i = 0; i < count; ++i) chosen.push_back(i);
        for (int i : chosen)
            if (i < 0 || i >= count) return false;
        std::vector<ObjPtr> owned;
        std::vector<pdf_obj*> copies(size_t(count), nullptr);  // by source index
        std::vector<pdf_obj*> inserted;
        static pdf_obj* const inherited[] = {PDF_NAME(Resources), PDF_NAME(MediaBox),
                                             PDF_NAME(CropBox), PDF_NAME(Rotate)};
        static pdf_obj* const own[] = {PDF_NAME(Contents), PDF_NAME(BleedBox), PDF_NAME(TrimBox),
                                       PDF_NAME(ArtBox),   PDF_NAME(UserUnit), PDF_NAME(Group)};
        for (int index : chosen) {
            pdf_obj* srcPage = srcIndex.pages[size_t(index)];
            ObjPtr page(mu([&](fz_context* c) { return pdf_add_new_dict(c, dst, 10); }));
            mu([&](fz_context* c) { pdf_dict_put(c, page.get(), PDF_NAME(Type), PDF_NAME(Page)); });
            for (pdf_obj* key : inherited)
                mu([&](fz_context* c) {
                    if (pdf_obj* v = pdf_dict_get_inheritable(c, srcPage, key))
                        pdf_dict_put_drop(c, page.get(), key,
                                          pdf_graft_mapped_object(c, graft.get(), v));
                });
            for (pdf_obj* key : own)
                mu([&](fz_context* c) {
                    if (pdf_obj* v = pdf_dict_get(c, srcPage, key))
                        pdf_dict_put_drop(c, page.get(), key,
                                          pdf_graft_mapped_object(c, graft.get(), v));
                });
            if (!get(page.get(), PDF_NAME(MediaBox)))
                mu([&](fz_context* c) {
                    pdf_dict_put_rect(c, page.get(), PDF_NAME(MediaBox),
                                      fz_make_rect(0, 0, 612, 792));
                });
            if (!copies[size_t(index)]) copies[size_t(index)] = page.get();
            inserted.push_back(page.get());
            owned.push_back(std::move(page));
        }
        for (size_t i = 0; i < chosen.size(); ++i)
            copyAnnotations(src, srcIndex, graft.get(), dst, copies,
                            srcIndex.pages[size_t(chosen[i])], inserted[i]);

        PageIndex dstIndex(dst);
        std::vector<pdf_obj*> pages = dstIndex.pages;
        size_t pos = size_t(std::clamp(at, 0, int(pages.size())));
        pages.insert(pages.begin() + long(pos), inserted.begin(), inserted.end());
        setPageList(dst, pages);
        graftOutline(src, srcIndex, graft.get(), dst, copies);
        return true;
    } catch (const std::exception& e) {
        cvlLog("pdf: cannot copy pages between documents: %s", e.what());
        return false;
    }
}

}  // namespace cvl
