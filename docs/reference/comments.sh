#!/bin/sh
# Doxygen's input filter for the library's headers: their plain comments become documentation.
# "#pragma once" becomes "/// @file", so the header's opening comment describes the file; a
# comment line before a declaration documents it; a comment after a member documents that member.
# In comments, "\" and "<" stand for themselves, not for Doxygen's commands and HTML. Lines keep
# their numbers.
exec sed -e 's|^#pragma once$|/// @file|' \
         -e '/^ *\/\//s|\\|\\\\|g' -e '/^ *\/\//s|<|\\<|g' \
         -e 's|^\( *\)// |\1/// |' -e 's|^\( *\)//$|\1///|' \
         -e '/^ *\/\//!s|\([;,{}]\) *// \(.*\)$|\1  ///< \2|' "$1"
