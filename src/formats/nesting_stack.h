// A stack of one entry per open container of a read: the first levels in
// line, so that a small body takes no heap block for them; a deeper read
// moves the whole stack to the heap.
#pragma once

#include <algorithm>
#include <cstddef>
#include <vector>

namespace tav {

template <class T, std::size_t InlineLevels = 16>
class NestingStack {
public:
    NestingStack() noexcept : data_(inline_) {}
    NestingStack(const NestingStack&) = delete;
    NestingStack& operator=(const NestingStack&) = delete;

    bool empty() const noexcept { return size_ == 0; }
    std::size_t size() const noexcept { return size_; }
    T& back() noexcept { return data_[size_ - 1]; }
    const T& back() const noexcept { return data_[size_ - 1]; }
    T& operator[](std::size_t index) noexcept { return data_[index]; }
    const T* begin() const noexcept { return data_; }
    const T* end() const noexcept { return data_ + size_; }
    void push_back(const T& entry) {
        if (size_ == capacity_) {
            grow();
        }
        data_[size_++] = entry;
    }
    void pop_back() noexcept { --size_; }
    void clear() noexcept { size_ = 0; }

private:
    void grow() {
        std::vector<T> larger(capacity_ * 2);
        std::copy(data_, data_ + size_, larger.begin());
        heap_ = std::move(larger);
        data_ = heap_.data();
        capacity_ = heap_.size();
    }

    T* data_;
    std::size_t size_ = 0;
    std::size_t capacity_ = InlineLevels;
    std::vector<T> heap_;
    T inline_[InlineLevels];
};

}  // namespace tav
