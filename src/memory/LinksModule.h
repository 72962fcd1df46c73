// The document-link operations of reader pages: starting, finishing and cancelling a link
// between passages of two documents, showing a document's links, following them and editing
// them. The application's one LinkSession is shared by every window.
#pragma once

#include "window/BridgeModule.h"

namespace cvl {

class LinkSession;

class LinksModule : public BridgeModule {
  public:
    explicit LinksModule(LinkSession& session) : session_(session) {}
    std::vector<std::string> operations() const override;
    void handle(const BridgeRequest& request) override;

  private:
    LinkSession& session_;
};

}  // namespace cvl
