#pragma once
// TObject and TPersistent: the roots of the class hierarchy. Assign/AssignTo
// form the double dispatch that lets either side of a copy know the other.

namespace platform {

class TObject {
public:
  virtual ~TObject() = default;
  virtual const char* ClassName() const noexcept { return "TObject"; }
};

class TPersistent : public TObject {
public:
  const char* ClassName() const noexcept override { return "TPersistent"; }

  // Copies Source into this object; the fallback asks Source to do it.
  virtual void Assign(const TPersistent* Source);

protected:
  // Copies this object into Dest; the fallback raises EConvertError.
  virtual void AssignTo(TPersistent* Dest) const;

private:
  void AssignError(const TPersistent* Source) const;
};

}  // namespace platform
