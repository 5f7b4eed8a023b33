#pragma once
#include <QString>

// Frames one command in place: inserts the side letter directly after the
// command word when side B is active, then appends CR LF.
void frameCommand(QString &buffer, char side);
