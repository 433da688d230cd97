#pragma once
// TList, a list of untyped pointers it does not own, and TStringList, a list
// of byte strings with optional associated objects.

#include <cstdint>
#include <functional>
#include <string>
#include <string_view>
#include <vector>

#include "platform/rtl/Object.h"

namespace platform {

class TList : public TObject {
public:
  const char* ClassName() const noexcept override { return "TList"; }

  int32_t Add(void* Item);  // returns the new item's index
  void Insert(int32_t Index, void* Item);  // 0 <= Index <= Count
  void Delete(int32_t Index);
  int32_t Remove(void* Item);  // removes the first occurrence; its index or -1
  // Removes the first occurrence and returns it, or nullptr when absent.
  void* Extract(void* Item);
  int32_t IndexOf(void* Item) const;
  void Clear();

  // Index errors raise EListError "List index out of bounds (%d)".
  void* Get(int32_t Index) const;
  void Put(int32_t Index, void* Item);
  void* Items(int32_t Index) const { return Get(Index); }
  void* operator[](int32_t Index) const { return Get(Index); }
  void* First() const { return Get(0); }
  void* Last() const { return Get(Count() - 1); }

  void Move(int32_t CurIndex, int32_t NewIndex);
  void Exchange(int32_t Index1, int32_t Index2);
  // Sorts by a comparison returning <0, 0 or >0, as qsort's.
  void Sort(const std::function<int(void*, void*)>& Compare);
  void Pack();  // drops nullptr items

  int32_t Count() const { return static_cast<int32_t>(items_.size()); }
  void SetCount(int32_t NewCount);  // new slots hold nullptr
  int32_t Capacity() const { return capacity_; }
  void SetCapacity(int32_t NewCapacity);  // below Count raises EListError

  // Direct access for loops that must not pay for index checks.
  void* const* List() const { return items_.data(); }

private:
  void CheckIndex(int32_t Index) const;
  void Grow();

  std::vector<void*> items_;
  int32_t capacity_ = 0;
};

class TStringList : public TPersistent {
public:
  const char* ClassName() const noexcept override { return "TStringList"; }

  int32_t Add(std::string S);
  int32_t AddObject(std::string S, TObject* Object);
  void Insert(int32_t Index, std::string S);  // 0 <= Index <= Count
  void Delete(int32_t Index);
  void Clear();
  int32_t Count() const { return static_cast<int32_t>(items_.size()); }

  // Index errors raise EListError "List index out of bounds (%d)".
  const std::string& Strings(int32_t Index) const;
  const std::string& operator[](int32_t Index) const { return Strings(Index); }
  void Put(int32_t Index, std::string S);
  TObject* Objects(int32_t Index) const;  // not owned
  void PutObject(int32_t Index, TObject* Object);

  // Every line followed by LineBreak.
  std::string Text() const;
  // Splits at CR LF, LF or CR; a final line break adds no empty line.
  void SetText(std::string_view Value);

  // Ignores ASCII letter case unless CaseSensitive is set; -1 when absent.
  int32_t IndexOf(std::string_view S) const;
  bool CaseSensitive = false;
  std::string LineBreak = "\n";

  // Copies the strings and their objects from another string list.
  void Assign(const TPersistent* Source) override;

private:
  struct TItem {
    std::string String;
    TObject* Object = nullptr;
  };
  void CheckIndex(int32_t Index) const;

  std::vector<TItem> items_;
};

}  // namespace platform
