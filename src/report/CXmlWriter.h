#pragma once

#include <QByteArray>
#include <QIODevice>
#include <QString>

#include <vector>

// Writes XML as QXmlStreamWriter does with auto-formatting (the same bytes
// for the same calls), but appends into large chunks: a report of a million
// test cases is written in a fraction of the time. The names given are
// plain ASCII; values and text are escaped as QXmlStreamWriter escapes them.
class CXmlWriter {
public:
    explicit CXmlWriter(QIODevice* pDevice) : m_device(*pDevice) {}

    void setAutoFormatting(bool /*bOn*/) {}
    void setAutoFormattingIndent(int nSpaces) { m_indent = QByteArray(nSpaces, ' '); }
    void writeStartDocument()
    {
        FinishStartElement(false);
        Put("<?xml version=\"1.0\" encoding=\"UTF-8\"?>");
    }
    void writeStartElement(const QString& strName)
    {
        if (!FinishStartElement(false))
            Indent(m_tags.size());
        m_tags.push_back(strName.toUtf8());
        Put("<");
        Put(m_tags.back());
        m_bInStartElement = m_bLastWasStartElement = true;
    }
    void writeAttribute(const QString& strName, const QString& strValue)
    {
        Put(" ");
        Put(strName.toUtf8());
        Put("=\"");
        PutEscaped(strValue, true);
        Put("\"");
    }
    void writeCharacters(const QString& strText)
    {
        FinishStartElement(true);
        PutEscaped(strText, false);
    }
    void writeTextElement(const QString& strName, const QString& strText)
    {
        writeStartElement(strName);
        writeCharacters(strText);
        writeEndElement();
    }
    void writeEndElement()
    {
        if (m_tags.empty())
            return;
        if (m_bInStartElement) {
            Put("/>");
            m_bLastWasStartElement = m_bInStartElement = false;
            m_tags.pop_back();
            return;
        }
        if (!FinishStartElement(false) && !m_bLastWasStartElement)
            Indent(m_tags.size() - 1);
        m_bLastWasStartElement = false;
        Put("</");
        Put(m_tags.back());
        Put(">");
        m_tags.pop_back();
    }
    void writeEndDocument()
    {
        while (!m_tags.empty())
            writeEndElement();
        Put("\n");
    }
    // Writes out what is gathered; true when every write went through.
    bool hasError()
    {
        Flush();
        return !m_bOk;
    }

private:
    bool FinishStartElement(bool bContents)
    {
        const bool bHadSomethingWritten = m_bWroteSomething;
        m_bWroteSomething = bContents;
        if (m_bInStartElement)
            Put(">");
        m_bInStartElement = false;
        return bHadSomethingWritten;
    }
    void Indent(std::size_t nLevel)
    {
        Put("\n");
        for (std::size_t i = 0; i < nLevel; ++i)
            Put(m_indent);
    }
    void Put(const char* psz) { m_buffer.append(psz); }
    void Put(const QByteArray& bytes)
    {
        m_buffer.append(bytes);
        if (m_buffer.size() >= 256 * 1024)
            Flush();
    }
    void PutEscaped(const QString& str, bool bAttribute)
    {
        // Every character escaped is ASCII, so the UTF-8 bytes are escaped
        // one by one.
        const QByteArray utf8 = str.toUtf8();
        for (const char ch : utf8) {
            switch (ch) {
            case '<':
                m_buffer.append("&lt;");
                break;
            case '>':
                m_buffer.append("&gt;");
                break;
            case '&':
                m_buffer.append("&amp;");
                break;
            case '"':
                m_buffer.append("&quot;");
                break;
            case '\t':
                m_buffer.append(bAttribute ? "&#9;" : "\t");
                break;
            case '\n':
                m_buffer.append(bAttribute ? "&#10;" : "\n");
                break;
            case '\r':
                m_buffer.append(bAttribute ? "&#13;" : "\r");
                break;
            default:
                m_buffer.append(ch);
            }
        }
        if (m_buffer.size() >= 256 * 1024)
            Flush();
    }
    void Flush()
    {
        if (!m_buffer.isEmpty() && m_device.write(m_buffer) != m_buffer.size())
            m_bOk = false;
        m_buffer.clear();
    }

    QIODevice& m_device;
    QByteArray m_indent = QByteArrayLiteral("    ");
    QByteArray m_buffer;
    std::vector<QByteArray> m_tags;
    bool m_bInStartElement = false;
    bool m_bLastWasStartElement = false;
    bool m_bWroteSomething = false;
    bool m_bOk = true;
};
