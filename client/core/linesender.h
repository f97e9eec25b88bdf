#pragma once

class LineQueue;
class TClientDataModule;

// Sends the lines saved while the server could not be reached, in the order
// they were saved, one request each: the unit each was saved with, carrying
// the identity it got when the worker pressed the key, so that a line whose
// reply is lost again is still stored once. A line the database refuses
// (the stock check of a transfer, a deleted document) keeps its message in
// the queue for the worker to see; nothing is lost.
class LineSender final
{
public:
    LineSender(TClientDataModule& module, LineQueue& queue) : m_module(module), m_queue(queue) {}

    struct Round
    {
        int stored = 0;
        int refused = 0;
        bool unreachable = false; // stopped because the server could not be reached
    };

    // Sends at most count lines, stopping at the first the server cannot be
    // reached for (that line goes first next time).
    Round SendWaiting(int count);

private:
    TClientDataModule& m_module;
    LineQueue& m_queue;
};
