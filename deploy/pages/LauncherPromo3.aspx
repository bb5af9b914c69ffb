<!DOCTYPE html>
<!-- A small pane of the launcher (250 x 118 px): guilds and community. -->
<html lang="tr">
<head>
<meta charset="utf-8">
<title>Valdora - Loncalar</title>
<style>
  html, body { margin: 0; height: 100%; overflow: hidden; }
  body {
    font: 11px/1.3 "Palatino Linotype", Palatino, "DejaVu Serif", Georgia, serif;
    color: #cfd8e6;
    background: linear-gradient(200deg, #0e1a2b 0%, #080d17 60%, #030508 100%);
  }
  .box {
    position: absolute; inset: 3px; border: 1px solid #34507a; padding: 7px 76px 0 9px;
    box-shadow: inset 0 0 14px #000;
  }
  svg { position: absolute; right: 8px; top: 12px; width: 62px; height: 90px; }
  .tag { font-size: 9px; letter-spacing: 3px; color: #7fa6d9; text-transform: uppercase; }
  h1 {
    margin: 2px 0 4px; font-size: 17px; font-weight: normal; color: #e4ecf7;
    text-shadow: 0 0 6px #3d6bb3, 0 1px 1px #000;
  }
  p { margin: 0; }
  .gold { color: #e2b95a; margin-top: 5px; }
</style>
</head>
<body>
<div class="box">
  <svg viewBox="0 0 62 90" aria-hidden="true">
    <path d="M31 4 L58 14 V40 C58 62 44 78 31 86 C18 78 4 62 4 40 V14Z"
          fill="#10213a" stroke="#c9a245" stroke-width="2"/>
    <path d="M31 14 L48 20 V40 C48 55 40 66 31 72 C22 66 14 55 14 40 V20Z" fill="#1d3a63"/>
    <path d="M22 58 L40 24 M40 58 L22 24" stroke="#e2e8f0" stroke-width="3" stroke-linecap="round"/>
    <path d="M18 52 h8 M36 52 h8" stroke="#c9a245" stroke-width="3" stroke-linecap="round"/>
  </svg>
  <div class="tag">Loncalar</div>
  <h1>Sancağını Kaldır</h1>
  <p>Kale kuşatmaları her akşam. Yeni loncalara ilk hafta vergi yok.</p>
  <p class="gold">Oyunda: /lonca kur</p>
</div>
</body>
</html>
