#pragma once

#include "client/core/documentcontext.h"

#include <QString>

struct ClientState;

// What the six document kinds differ in: the header and line tables, the
// captions of the two document windows, and the right a user needs.
struct DocumentKindInfo
{
    DocumentKind kind;
    QString radioButton; // the header window's choice of kind
    QString caption;     // its caption
    QString headerTitle; // the header window's title for the kind
    QString linesTitle;  // the lines window's title
    QString headerTable; // empty for goods in memory
    QString lineTable;
    QString headerColumn; // the line table's column naming the header
};

const DocumentKindInfo& KindInfo(DocumentKind kind);

// The kinds in the order the header window offers them.
constexpr DocumentKind kAllDocumentKinds[] = {
    DocumentKind::Receiving, DocumentKind::Transfer, DocumentKind::Inventory,
    DocumentKind::Orders,    DocumentKind::WriteOut, DocumentKind::GoodsInMemory,
};

// Whether the logged-in user may work with documents of the kind; goods in
// memory need no right.
bool MayUseKind(const ClientState& state, DocumentKind kind);
