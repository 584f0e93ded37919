#pragma once
// A lookup that leaves the window alive: it runs beside a modal progress
// dialog with "Abbrechen", so the window repaints and no other handler runs
// until it has ended. "Abbrechen" ends the transfer and throws EAborted,
// which the error guard passes over without a message.
#include <functional>

#include "sources/fetch_url.h"
#include "sources/oeis.h"

class QWidget;

// lookup gets the fetch limits that carry the dialog's cancel request.
OeisHit RunLookupWithProgress(QWidget* parent,
                              const std::function<OeisHit(const FetchOptions&)>& lookup);
