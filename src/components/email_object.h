// Our own implementation of the vendor's e-mail object "CVMail.CVEMail": it keeps
// every value it is given, the HTML bytes exactly (odd lengths included),
// the list of body resources and the list of attachments, and its getters
// return what the setters stored. Beyond the members the add-in calls it
// answers what a container writer needs to read a mail back: get_HtmlBody,
// get_HtmlFileName, get_FolderPath and the other header fields, and the two
// lists by index (AttachmentCount, Attachment(i), AttachmentName(i),
// ResourceCount, Resource(i), ResourcePath(i); i is 0-based). Beyond the
// vendor's interface it takes AddNamedAttachment(path, name): a file saved
// under a shortened name, with the name the attachment keeps.
#pragma once

#include <map>
#include <mutex>
#include <string>
#include <utility>
#include <vector>

#include "foundation/object.h"

namespace CV::Components {

class CEMail final : public IObject, public std::enable_shared_from_this<CEMail> {
 public:
  struct Resource {
    std::u16string fullPath, relativePath;
  };
  struct Attachment {
    std::u16string path;
    std::u16string name;  // empty: the file's name
  };

  ObjectPtr QueryInterface(const Guid& iid) override;
  Variant Invoke(std::u16string_view name, InvokeKind kind, std::vector<Variant> args) override;
  std::uint32_t Advise(const Guid& eventsIid, std::shared_ptr<IEventSink> sink) override;
  void Unadvise(std::uint32_t cookie) override;

  // For the container writer and tests, which link this library.
  Variant Property(std::u16string_view name) const;
  std::vector<std::u16string> Attachments() const;  // the paths
  std::vector<Attachment> NamedAttachments() const;
  std::vector<Resource> Resources() const;

 private:
  mutable std::mutex m_mutex;
  std::map<std::u16string, Variant, std::less<>> m_values;
  std::vector<Attachment> m_attachments;
  std::vector<Resource> m_resources;
};

}  // namespace CV::Components
