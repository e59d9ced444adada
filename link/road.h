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

// Whether this sensor echoes its requests' command and argument words, learned on this connection
// from the first parameter set read (see ReadParameterFrame): LearnEcho takes the first lesson of
// a connection, later ones change nothing.
bool SensorEchoes();
void LearnEcho(bool echoes);
