#pragma once

class QVariant;

// Decides whether a value given to an argument is acceptable.
class QtArgValueConstraint {
public:
    virtual ~QtArgValueConstraint() = default;
    virtual bool check(const QVariant& value) const = 0;
};
