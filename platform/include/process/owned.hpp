#ifndef __PROCESS_OWNED_HPP__
#define __PROCESS_OWNED_HPP__

#include <atomic>
#include <cstddef>
#include <memory>

namespace process {

// A pointer to an object with one owner in spirit but shared storage: copies
// of an Owned share the object, which is deleted with the last copy unless
// release() handed it over first. There is no conversion from Owned<Derived>
// to Owned<Base>; write Owned<Base>(new Derived(...)).
template <typename T>
class Owned
{
public:
  Owned() {}

  explicit Owned(T* t)
  {
    if (t != nullptr) {
      data_ = std::make_shared<Data>(t);
    }
  }

  bool operator==(const Owned<T>& that) const { return get() == that.get(); }
  bool operator!=(const Owned<T>& that) const { return !(*this == that); }
  bool operator<(const Owned<T>& that) const { return get() < that.get(); }

  T& operator*() const { return *get(); }
  T* operator->() const { return get(); }

  T* get() const { return data_ == nullptr ? nullptr : data_->t_.load(); }

  void reset() { data_.reset(); }

  void reset(T* t)
  {
    if (t == nullptr) {
      data_.reset();
    } else {
      data_ = std::make_shared<Data>(t);
    }
  }

  void swap(Owned<T>& that) { data_.swap(that.data_); }

  // Gives up ownership: the object is no longer deleted by any copy, and
  // every copy now sees a null pointer. Returns nullptr if another copy
  // released it already.
  T* release()
  {
    if (data_ == nullptr) {
      return nullptr;
    }
    return data_->t_.exchange(nullptr);
  }

private:
  struct Data
  {
    explicit Data(T* t) : t_(t) {}
    ~Data() { delete t_.load(); }

    Data(const Data&) = delete;
    Data& operator=(const Data&) = delete;

    std::atomic<T*> t_;
  };

  std::shared_ptr<Data> data_;
};

} // namespace process {

#endif // __PROCESS_OWNED_HPP__
