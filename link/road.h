// The exchange road inside the sensor link: one request, its answer window and the proof that the
// answer is this request's. The calls of com232.h build on it; nothing outside link/ uses it.
#pragma once

#include "link/com232.h"

struct Request {
    AnswerExpectation expect;        // command, argument, measurement frames only
    const uint16_t* words = nullptr; // the 15 data words (block request: the source; X-FLASH write:
                                     // the page, then eight table words); nullptr: pp
    bool stoppable = false;          // stop_flag ends the wait
    bool paced = false;              // taken once whole, without the quiet time after it
    WrittenHook written = nullptr;
};
// Builds the request's frame, writes it once the line holds nothing of an earlier request, and
// waits for the answer (see AnswerBytes): Answered when it is provably this request's, decoded
// into szReadBuf (and pp for a frame).
Outcome Exchange(const Request& request);
// A new connection: nothing owed, nothing learned.
void ResetRoad();

// What this connection has shown of the sensor's answers to a kind of request (GET_RAM, GET_EEPROM;
// nothing for the others): learned from the first parameter set of the kind whose two answers were
// both taken on a quiet line (LastAnswerQuiet), held from then on. LearnAnswerHabit takes the first
// lesson of a connection for the kind; later ones change nothing.
AnswerHabit AnswerHabitOf(uint16_t command);
void LearnAnswerHabit(uint16_t command, const AnswerHabit& habit);
// The last answer was taken while nothing was owed, the line was quiet before it and after it,
// and it stood alone in its window.
bool LastAnswerQuiet();
