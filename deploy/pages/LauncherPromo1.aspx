<!DOCTYPE html>
<!-- The launcher's large pane (302 x 249 px). valdora-publish --pages fills in
     the list's note, the date, the number of files and their size below. -->
<html lang="tr">
<head>
<meta charset="utf-8">
<title>Valdora - Son Yama</title>
<style>
  html, body { margin: 0; height: 100%; overflow: hidden; }
  body {
    font: 12px/1.35 "Palatino Linotype", Palatino, "DejaVu Serif", Georgia, serif;
    color: #d9cfb8;
    background: radial-gradient(ellipse at 50% 0%, #3a2a4a 0%, #17111f 55%, #07050a 100%);
  }
  .frame {
    position: absolute; inset: 5px; border: 1px solid #6d5422;
    box-shadow: inset 0 0 18px #000, 0 0 0 1px #000;
    padding: 10px 12px; box-sizing: border-box;
  }
  .frame::before, .frame::after {
    content: "\2756"; position: absolute; color: #c9962c; font-size: 11px; top: -8px;
    background: #17111f; padding: 0 3px;
  }
  .frame::before { left: 8px; }
  .frame::after { right: 8px; }
  svg.scene { position: absolute; left: 0; right: 0; bottom: 0; width: 100%; height: 86px; }
  h1 {
    margin: 0; font-size: 21px; font-weight: normal; letter-spacing: 3px; text-align: center;
    color: #f1c75b; text-shadow: 0 0 8px #a8741a, 0 2px 2px #000;
  }
  .sub {
    text-align: center; font-size: 10px; letter-spacing: 4px; color: #9c8b6a;
    text-transform: uppercase; margin-bottom: 8px;
  }
  .rule { height: 1px; background: linear-gradient(90deg, transparent, #c9962c, transparent); }
  h2 { margin: 8px 0 3px; font-size: 13px; color: #e8b94a; font-weight: normal; }
  .note { font-style: italic; color: #efe6d2; }
  ul { margin: 4px 0 0; padding: 0; list-style: none; font-size: 11px; color: #b9ab8e; }
  li::before { content: "\2694  "; color: #8b2c2c; }
  b { color: #f1c75b; font-weight: normal; }
</style>
</head>
<body>
<svg class="scene" viewBox="0 0 300 86" preserveAspectRatio="none" aria-hidden="true">
  <defs>
    <linearGradient id="mist" x1="0" y1="0" x2="0" y2="1">
      <stop offset="0" stop-color="#2a1d36" stop-opacity="0"/>
      <stop offset="1" stop-color="#0b070f"/>
    </linearGradient>
  </defs>
  <circle cx="238" cy="24" r="13" fill="#e9dcb0" opacity=".75"/>
  <circle cx="243" cy="21" r="12" fill="#241830" opacity=".9"/>
  <path d="M0 70 L40 42 L62 58 L98 30 L130 60 L165 38 L200 62 L236 44 L270 60 L300 48 L300 86 L0 86Z"
        fill="#1d1427"/>
  <path d="M86 86 V52 h6 v-6 h5 v6 h6 v-6 h5 v6 h6 V40 l6-10 6 10 v12 h6 v-6 h5 v6 h6 v-6 h5 v6 h6 V86Z"
        fill="#0d0912"/>
  <rect x="129" y="48" width="3" height="5" fill="#f1a93b"/>
  <rect x="109" y="60" width="3" height="5" fill="#f1a93b" opacity=".8"/>
  <rect x="0" y="40" width="300" height="46" fill="url(#mist)"/>
</svg>
<div class="frame">
  <h1>VALDORA</h1>
  <div class="sub">Kadim Topraklar</div>
  <div class="rule"></div>
  <h2>Son yama</h2>
  <div class="note">{{note}}</div>
  <ul>
    <li><b>{{files}}</b> dosya, toplam <b>{{size}}</b></li>
    <li>Yayın: {{published}}</li>
    <li>Başlatıcı dosyaları kendisi günceller.</li>
  </ul>
</div>
</body>
</html>
