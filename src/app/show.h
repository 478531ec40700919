// The show path: the host's text, its Telnet commands taken out, on its way
// to the transcript, to the records (-j) and to the prompt test at the end of
// the text (-e). Nothing is allocated per chunk.
#pragma once

#include "app/session.h"
#include "textmatch/textmatch.h"

// Shows the n bytes at text: BEL bytes as the BEL switch says, every -k value
// masked; with -c without escape sequences, and with -c and -e paged output
// joined (a pager's prompt and its erasing left out). The same text without
// escape sequences goes to tail (-e) and, joined with -e, to the records.
// clean holds n bytes of work space.
void ShowText(Session& session, const char* text, int n, char* clean, PromptTail& tail);

// A pager's prompt has been answered: it and the bytes that erase it stay out.
void PagerAnswered(Session& session);

// Shows what the joining and the masking hold back: at the session's end.
void ShowHeld(Session& session);
