#pragma once

#include <QString>

#include "tag/id3v2_tag.h"

// How the window tells of the ID3v2 tag a clicked file begins with, while its fields show the
// trailer: a few words for the message label, beside the trailer or instead of one.
QString id3v2Message(bool besideTrailer);

// What the label's tooltip says the ID3v2 tag names.
QString id3v2Details(const id3::Id3v2Fields& tag);
