#pragma once
// Process-wide state of one run. Every piece registers itself when it is made, and
// RunStatePiece::resetAll() puts every registered piece back to its start value at once (tests
// run many launches in one process), so a new piece cannot be left out of the reset.

#include <cstddef>
#include <vector>

class RunStatePiece {
public:
    RunStatePiece(const RunStatePiece&) = delete;
    RunStatePiece& operator=(const RunStatePiece&) = delete;

    // Every piece of every run back to its start value.
    static void resetAll();
    // How many pieces are registered.
    static size_t count();

protected:
    RunStatePiece();
    virtual ~RunStatePiece();
    virtual void reset() = 0;

private:
    static std::vector<RunStatePiece*>& registry();
};

// A value of one run: a T that starts (and is reset to) value-initialized: empty, zero or
// false. Read and written like the T itself.
template <typename T>
class RunState final : public RunStatePiece {
public:
    RunState() = default;

    T& get() { return m_value; }
    const T& get() const { return m_value; }
    T& operator*() { return m_value; }
    const T& operator*() const { return m_value; }
    T* operator->() { return &m_value; }
    const T* operator->() const { return &m_value; }
    operator T&() { return m_value; }
    operator const T&() const { return m_value; }
    // For containers: a range-for goes over the value.
    auto begin() { return m_value.begin(); }
    auto end() { return m_value.end(); }
    auto begin() const { return m_value.begin(); }
    auto end() const { return m_value.end(); }
    template <typename U>
    RunState& operator=(U&& value) {
        m_value = static_cast<U&&>(value);
        return *this;
    }

private:
    void reset() override { m_value = T(); }

    T m_value{};
};

// A value of one run that holds pointers into itself and so cannot be replaced by a new
// one: it is reset by its own clear(), which must leave it as a new object.
template <typename T>
class ClearedRunState final : public RunStatePiece {
public:
    T& get() { return m_value; }
    const T& get() const { return m_value; }
    T& operator*() { return m_value; }
    T* operator->() { return &m_value; }

private:
    void reset() override { m_value.clear(); }

    T m_value;
};
