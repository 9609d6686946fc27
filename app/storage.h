// The run's storage: the buffers of the input and the output, obtained once
// before any file is opened, and the two arrays of each block, and how the
// heap is asked for them.
#pragma once

#include <cstddef>
#include <cstdint>
#include <memory>
#include <span>

namespace app {

// The reader's and the writer's buffers, in one piece. From the C heap:
// the C++ library's nothrow new throws inside, and where the exception
// itself cannot be had (a tight data limit), that aborts the run.
class run_buffers {
public:
    static const std::size_t bytes;

    // Returns 0 or the errno of the refusal.
    int obtain();
    std::span<char> input() const;
    std::span<char> output() const;

private:
    struct release_with_free {
        void operator()(char* p) const;
    };
    std::unique_ptr<char, release_with_free> storage_;
};

// One block's arrays of rows: `columns` values a row, rows one after another.
class rows_storage {
public:
    rows_storage() = default;
    rows_storage(rows_storage&&) noexcept;
    rows_storage& operator=(rows_storage&&) noexcept;
    ~rows_storage();

    // Storage for `rows` rows, its values unset; a request for no rows (none
    // or fewer) is still a request. Returns 0 or the errno of the refusal.
    int obtain(std::int32_t rows, int columns);
    void release();
    float* get() const { return values_; }

private:
    float* values_ = nullptr;
};

}  // namespace app
