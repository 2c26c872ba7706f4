#pragma once
// String lists: an ordered list of texts, each with an optional object pointer. TStrings holds the
// shared behaviour (text forms, name=value pairs, files); TStringList keeps its own items and can
// be sorted. The item lists of list boxes and combo boxes are TStrings too.
#include <cstdint>
#include <functional>
#include <string>
#include <vector>

#include "platform/system/component.h"

namespace plat {

class TStream;

class TStrings : public TPersistent {
public:
  virtual int Count() const = 0;
  virtual std::string Get(int index) const = 0;
  virtual void Put(int index, const std::string& s);
  virtual TObject* GetObject(int index) const { return nullptr; }
  virtual void PutObject(int index, TObject* o) {}
  virtual void Insert(int index, const std::string& s) = 0;
  virtual void Delete(int index) = 0;
  virtual void Clear() = 0;

  std::string Strings(int index) const { return Get(index); }
  std::string operator[](int index) const { return Get(index); }
  TObject* Objects(int index) const { return GetObject(index); }

  virtual int Add(const std::string& s);
  int AddObject(const std::string& s, TObject* o);
  void InsertObject(int index, const std::string& s, TObject* o);
  void AddStrings(const TStrings& other);
  void Append(const std::string& s) { Add(s); }
  // Case-insensitive unless the list says otherwise; -1 when absent.
  virtual int IndexOf(const std::string& s) const;
  int IndexOfObject(const TObject* o) const;
  virtual void Exchange(int a, int b);
  void Move(int from, int to);
  bool Equals(const TStrings& other) const;

  // Every line followed by CR LF; setting splits at CR LF, LF or CR.
  std::string Text() const;
  void SetText(const std::string& text);
  // Items separated by commas; items holding blanks, commas or quotes are double-quoted.
  std::string CommaText() const;
  void SetCommaText(const std::string& text);
  std::string DelimitedText(char delimiter = ',', char quote = '"') const;
  void SetDelimitedText(const std::string& text, char delimiter = ',', char quote = '"');

  // name=value lines.
  std::string Names(int index) const;
  std::string ValueFromIndex(int index) const;
  std::string Values(const std::string& name) const;
  void SetValue(const std::string& name, const std::string& value);  // "" removes the line
  int IndexOfName(const std::string& name) const;

  void LoadFromFile(const std::string& path);      // raises EFOpenError
  void SaveToFile(const std::string& path) const;  // raises EFCreateError
  void LoadFromStream(TStream& s);
  void SaveToStream(TStream& s) const;

  void BeginUpdate();
  void EndUpdate();
  int UpdateCount() const { return updateCount_; }

  void Assign(TPersistent* src) override;
  std::string ClassName() const override { return "TStrings"; }

  bool CaseSensitive() const { return caseSensitive_; }
  virtual void SetCaseSensitive(bool v) { caseSensitive_ = v; }
  int CompareStrings(const std::string& a, const std::string& b) const;

protected:
  // Told when the first BeginUpdate starts and the last EndUpdate ends a batch.
  virtual void SetUpdateState(bool updating) {}
  [[noreturn]] static void IndexError(int index);

private:
  int updateCount_ = 0;
  bool caseSensitive_ = false;
};

enum TDuplicates { dupIgnore, dupAccept, dupError };

class TStringList : public TStrings {
public:
  TStringList() = default;
  TStringList(const TStringList& other);
  TStringList& operator=(const TStringList& other);

  int Count() const override { return int(items_.size()); }
  std::string Get(int index) const override;
  void Put(int index, const std::string& s) override;
  TObject* GetObject(int index) const override;
  void PutObject(int index, TObject* o) override;
  void Insert(int index, const std::string& s) override;
  void Delete(int index) override;
  void Clear() override;
  int Add(const std::string& s) override;
  int IndexOf(const std::string& s) const override;
  void Exchange(int a, int b) override;

  // Binary search of a sorted list: true when found; index is where s is or would go.
  bool Find(const std::string& s, int& index) const;
  virtual void Sort();
  void CustomSort(const std::function<int(TStringList& list, int a, int b)>& compare);

  bool Sorted() const { return sorted_; }
  void SetSorted(bool v);
  TDuplicates Duplicates() const { return duplicates_; }
  void SetDuplicates(TDuplicates d) { duplicates_ = d; }
  void SetCaseSensitive(bool v) override;

  TNotifyEvent OnChange;
  TNotifyEvent OnChanging;
  std::string ClassName() const override { return "TStringList"; }

protected:
  void SetUpdateState(bool updating) override;
  void Changed();
  void Changing();

private:
  struct Item {
    std::string s;
    TObject* o = nullptr;
  };
  void InsertItem(int index, const std::string& s, TObject* o);
  void CheckIndex(int index) const;
  std::vector<Item> items_;
  bool sorted_ = false;
  TDuplicates duplicates_ = dupIgnore;
};

// Case-insensitive comparison of ASCII letters, then by bytes: the order of sorted lists.
int CompareText(const std::string& a, const std::string& b);

}  // namespace plat
