#include "base/RunState.h"

#include <algorithm>

std::vector<RunStatePiece*>& RunStatePiece::registry() {
    // Made on first use, so pieces of any translation unit may register during static
    // initialization.
    static std::vector<RunStatePiece*> pieces;
    return pieces;
}

RunStatePiece::RunStatePiece() {
    registry().push_back(this);
}

RunStatePiece::~RunStatePiece() {
    std::vector<RunStatePiece*>& pieces = registry();
    pieces.erase(std::remove(pieces.begin(), pieces.end(), this), pieces.end());
}

void RunStatePiece::resetAll() {
    for (RunStatePiece* piece : registry()) piece->reset();
}

size_t RunStatePiece::count() {
    return registry().size();
}
