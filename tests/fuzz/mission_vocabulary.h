// The mission vocabulary, declared once per process: each input gets a
// reader with a deep copy of the declared blocks, and an array element budget
// small enough that no input spends long copying element schemas.
#pragma once
#include <memory>

#include "game/world/scriptreader.h"
#include "game/world/splevelmanager.h"

inline void FuzzMissionReader(ScriptReader& r, int elementBudget = 512)
{
    static const ScriptReader* vocabulary = [] {
        auto* v = new ScriptReader;
        SPLM::DefineScriptSyntax(v);
        return v;
    }();
    for (auto const& d : vocabulary->definitions)
        if (Definition* copy = d->CopyInstance())
            r.definitions.emplace_back(copy);
    r.textErrors.elementsLeft = elementBudget;
}
