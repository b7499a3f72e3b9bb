#pragma once

class QtArgCmdLineCursor;

// Told by the parser after an argument was processed; it receives the parser's cursor.
class QtArgObserver {
public:
    virtual ~QtArgObserver() = default;
    virtual void notify(QtArgCmdLineCursor& cursor) = 0;
};
